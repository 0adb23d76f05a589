#include "text/page_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "support/fake_server.h"

namespace gathrix {
namespace {

namespace fs = std::filesystem;
using test::Sandbox;
using test::WriteFile;
using V = std::vector<std::string>;

// Every line (or item) of bytes, read the way the page readers loop: while not
// at the end. Reading on past the end must answer nullopt.
V ReadAll(std::string_view bytes, bool lines) {
    PageReader reader(bytes);
    V out;
    while (!reader.AtEnd()) {
        std::optional<std::string> next = lines ? reader.ReadLine() : reader.ReadItem();
        if (!next) {
            ADD_FAILURE() << "a read before the end failed";
            break;
        }
        out.push_back(*next);
    }
    EXPECT_FALSE(reader.ReadLine().has_value()) << "reading past the end must fail";
    EXPECT_FALSE(reader.ReadItem().has_value()) << "reading past the end must fail";
    EXPECT_TRUE(reader.AtEnd());
    return out;
}

struct ReadCase {
    const char* name;
    std::string bytes;
    V expected;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

// Each case is named after its name field.
template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& param) {
    return param.param.name;
}

std::string Bytes(const char* text, std::size_t size) { return std::string(text, size); }

class Lines : public ::testing::TestWithParam<ReadCase> {};

TEST_P(Lines, EndAtCrOrCrLfButNotAtABareLf) { EXPECT_EQ(ReadAll(GetParam().bytes, true), GetParam().expected); }

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    PageReader, Lines,
    ::testing::Values(ReadCase{"CrLfCrAndEnd", "one\r\ntwo\rthree", {"one", "two", "three"}},
                      ReadCase{"BareLfStaysInTheLine", "a\nb\nc\n", {"a\nb\nc\n"}},
                      ReadCase{"EmptyLineBetween", "a\r\n\r\nb\r\n", {"a", "", "b"}},
                      ReadCase{"CrAtTheEndEndsTheLastLine", "a\r", {"a"}},
                      ReadCase{"OnlyACr", "\r", {""}},
                      ReadCase{"OnlyAnLf", "\n", {"\n"}},
                      ReadCase{"CrCrLfIsTwoLineEnds", "a\r\r\nb", {"a", "", "b"}},
                      ReadCase{"LfCrIsAnLfInTheLine", "a\n\rb", {"a\n", "b"}},
                      ReadCase{"NulBytesAreKept", Bytes("a\0b\r\n\0", 6), {Bytes("a\0b", 3), Bytes("\0", 1)}},
                      ReadCase{"HighBytesAreKept", "\xff\xfe\r\n\x80", {"\xff\xfe", "\x80"}},
                      ReadCase{"QuotesAndCommasMeanNothing", "\"a,b\r\"c", {"\"a,b", "\"c"}}),
    CaseName<ReadCase>);
// clang-format on

class Items : public ::testing::TestWithParam<ReadCase> {};

TEST_P(Items, FollowTheItemRules) { EXPECT_EQ(ReadAll(GetParam().bytes, false), GetParam().expected); }

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    PageReader, Items,
    ::testing::Values(
        ReadCase{"QuotedItemKeepsItsCommas", "x,\"a,b\",y", {"x", "a,b", "y"}},
        // Only a comma or line end right after the closing quote belongs to the item.
        ReadCase{"BlanksAfterTheClosingQuoteBeginTheNextItem", "  \"q\"  ,z", {"q", "", "z"}},
        // The feed's "key":"value" pairs arrive as the key, then the colon with the quoted value.
        ReadCase{"ClosingQuoteThenOtherText", "\"k\":\"v\",z", {"k", ":\"v\"", "z"}},
        ReadCase{"FeedPair",
                 ",\"content$src\":\"http://h/p/a.jpg\",{\"x\":1}",
                 {"", "content$src", ":\"http://h/p/a.jpg\"", "{\"x\":1}"}},
        ReadCase{"CrLfEndsAnItem", "3.5\r\n", {"3.5"}},
        ReadCase{"BareLfEndsAnItem", "3.5\n", {"3.5"}},
        ReadCase{"CrAndCrLfEndItems", "a\rb\r\nc", {"a", "b", "c"}},
        ReadCase{"CrLfAfterTheClosingQuote", "\"3.5\"\r\n", {"3.5"}},
        ReadCase{"LfAfterTheClosingQuote", "\"a\"\nb", {"a", "b"}},
        ReadCase{"CrAfterTheClosingQuoteTakesOneLf", "\"a\"\r\n\nb", {"a", "", "b"}},
        ReadCase{"ClosingQuoteAtTheEnd", "\"a\"", {"a"}},
        ReadCase{"EmptyQuotedItem", "\"\",x", {"", "x"}},
        ReadCase{"BlanksAndTabsBeforeAnItemAreSkipped", "\t 3.5,more", {"3.5", "more"}},
        ReadCase{"BlanksBeforeAQuote", " \t\"a b\",c", {"a b", "c"}},
        ReadCase{"BlanksAfterAnItemStay", "3.5 ", {"3.5 "}},
        ReadCase{"OnlyBlanksIsOneEmptyItem", " \t ", {""}},
        ReadCase{"EmptyItemsBetweenCommas", "a,,b", {"a", "", "b"}},
        ReadCase{"TrailingCommaAddsNoItem", "a,", {"a"}},
        ReadCase{"OnlyACrLf", "\r\n", {""}},
        ReadCase{"QuoteInsideAnUnquotedItemStays", "a\"b,c", {"a\"b", "c"}},
        ReadCase{"UnterminatedQuoteRunsToTheEnd", "\"a,b\r\nc", {"a,b\r\nc"}},
        ReadCase{"LastItemIsReadOnce", "so.addVariable('a','http://h/b.jpg')", {"so.addVariable('a'", "'http://h/b.jpg')"}},
        ReadCase{"NulAndHighBytesAreKept", Bytes("\xff\0,\"\x80\0\"", 7), {Bytes("\xff\0", 2), Bytes("\x80\0", 2)}}),
    CaseName<ReadCase>);
// clang-format on

TEST(PageReader, EmptyBytesAreAtTheEndAtOnce) {
    PageReader reader("");
    EXPECT_TRUE(reader.AtEnd());
    EXPECT_FALSE(reader.ReadLine().has_value());
    EXPECT_FALSE(reader.ReadItem().has_value());
}

TEST(PageReader, LinesAndItemsGoOnWhereTheLastReadStopped) {
    const std::string page = "head\r\nx, \"y\"\r\nlast,line\r\n";
    PageReader reader(page);
    EXPECT_EQ(reader.ReadLine(), "head");
    EXPECT_EQ(reader.ReadItem(), "x");
    EXPECT_EQ(reader.ReadItem(), "y");
    EXPECT_EQ(reader.ReadLine(), "last,line");
    EXPECT_TRUE(reader.AtEnd());
}

// Reading stops after `limit` has passed, so that a reader that is quadratic in
// the length of the page fails here instead of running for hours.
template <typename Read>
std::size_t CountUntilEnd(PageReader& reader, Read read, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::size_t count = 0;
    while (!reader.AtEnd() && std::chrono::steady_clock::now() < deadline) {
        read(reader);
        ++count;
    }
    EXPECT_TRUE(reader.AtEnd()) << "the page was not read to its end in " << limit.count() << " s";
    return count;
}

TEST(PageReader, APageOfManySmallPiecesReadsInLinearTime) {
    constexpr std::size_t kPieces = 1'000'000;
    std::string items;
    std::string lines;
    for (std::size_t i = 0; i < kPieces; ++i) {
        items += "ab,";
        lines += "ab\r\n";
    }
    PageReader item_reader(items);
    EXPECT_EQ(CountUntilEnd(
                  item_reader, [](PageReader& r) { EXPECT_EQ(r.ReadItem(), "ab"); }, std::chrono::seconds(20)),
              kPieces);
    PageReader line_reader(lines);
    EXPECT_EQ(CountUntilEnd(
                  line_reader, [](PageReader& r) { EXPECT_EQ(r.ReadLine(), "ab"); }, std::chrono::seconds(20)),
              kPieces);
}

TEST(PageReader, AOneLinePageOfManyMegabytesComesBackWhole) {
    std::string page(32u << 20, 'x');
    page[12345] = '\n';
    page[page.size() / 2] = '\0';
    page += "\r\nend";

    PageReader lines(page);
    const std::optional<std::string> line = lines.ReadLine();
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(line->size(), 32u << 20);
    EXPECT_TRUE(page.starts_with(*line));
    EXPECT_EQ(lines.ReadLine(), "end");

    page[12345] = 'x';  // an LF would end the item
    PageReader items(page);
    const std::optional<std::string> item = items.ReadItem();
    ASSERT_TRUE(item.has_value());
    EXPECT_EQ(item->size(), 32u << 20);
    EXPECT_TRUE(page.starts_with(*item));
    EXPECT_EQ(items.ReadItem(), "end");

    const std::string quoted = "\"" + page;  // a quote that never closes
    PageReader quoted_items(quoted);
    const std::optional<std::string> rest = quoted_items.ReadItem();
    EXPECT_TRUE(rest == page) << "the item is the rest of the page";
    EXPECT_TRUE(quoted_items.AtEnd());
}

// What is found at a path, and what the three file operations make of it.
enum class At { Nothing, EmptyFile, File, BigFile, Directory, LinkToFile, DanglingLink, Fifo };

struct FileCase {
    const char* name;
    At at;
    std::optional<std::string> whole;    // ReadWholeFile
    std::optional<std::int64_t> length;  // FileLength
    bool deleted;                        // DeleteFile
};

void PrintTo(const FileCase& c, std::ostream* os) { *os << c.name; }

// 200,000 bytes of every value, NUL and high bytes included: more than one
// block of any buffer.
std::string BigContent() {
    std::string content(200'000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 % 256);
    return content;
}

constexpr const char* kContent = "3.5\r\n\0\xff";
const std::string kFileContent(kContent, 7);

class FilesAtAPath : public ::testing::TestWithParam<FileCase> {
protected:
    // Puts GetParam().at at path(); a link's target is "target".
    void SetUp() override {
        const std::string target = sandbox_.Path() + "/target";
        switch (GetParam().at) {
            case At::Nothing:
                break;
            case At::EmptyFile:
                WriteFile(Path(), "");
                break;
            case At::File:
                WriteFile(Path(), kFileContent);
                break;
            case At::BigFile:
                WriteFile(Path(), BigContent());
                break;
            case At::Directory:
                fs::create_directory(Path());
                break;
            case At::LinkToFile:
                WriteFile(target, kFileContent);
                fs::create_symlink(target, Path());
                break;
            case At::DanglingLink:
                fs::create_symlink(target, Path());
                break;
            case At::Fifo:
                ASSERT_EQ(::mkfifo(Path().c_str(), 0600), 0);
                break;
        }
    }

    std::string Path() const { return sandbox_.Path() + "/page.htm"; }
    bool SomethingAt(const std::string& path) const {
        std::error_code ec;
        return fs::exists(fs::symlink_status(path, ec));
    }

    Sandbox sandbox_;
};

TEST_P(FilesAtAPath, AreReadMeasuredAndDeletedOnlyWhenRegular) {
    const FileCase& c = GetParam();
    const bool was_there = SomethingAt(Path());

    EXPECT_EQ(ReadWholeFile(Path()), c.whole);
    EXPECT_EQ(FileLength(Path()), c.length);
    EXPECT_EQ(SomethingAt(Path()), was_there) << "reading or measuring must neither create nor remove";

    EXPECT_EQ(DeleteFile(Path()), c.deleted);
    EXPECT_EQ(SomethingAt(Path()), was_there && !c.deleted);
    if (c.at == At::LinkToFile) {
        EXPECT_EQ(test::ReadFile(sandbox_.Path() + "/target"), kFileContent) << "a link's target is left alone";
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    PageReader, FilesAtAPath,
    ::testing::Values(FileCase{"Nothing", At::Nothing, std::nullopt, std::nullopt, false},
                      FileCase{"EmptyFile", At::EmptyFile, std::string(), 0, true},
                      FileCase{"File", At::File, kFileContent, 7, true},
                      FileCase{"BigFile", At::BigFile, BigContent(), 200'000, true},
                      FileCase{"Directory", At::Directory, std::nullopt, std::nullopt, false},
                      // Reading follows a link, as opening a page always has; deleting never does.
                      FileCase{"LinkToFile", At::LinkToFile, kFileContent, 7, false},
                      FileCase{"DanglingLink", At::DanglingLink, std::nullopt, std::nullopt, false},
                      // Must answer at once rather than wait for a writer.
                      FileCase{"Fifo", At::Fifo, std::nullopt, std::nullopt, false}),
    CaseName<FileCase>);
// clang-format on

}  // namespace
}  // namespace gathrix
