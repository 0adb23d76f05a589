#include "text/page_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/fake_server.h"

namespace gathrix {
namespace {

using test::ReadFile;
using test::Sandbox;
using test::ScopedCwd;
using test::WriteFile;

class PageFilesTest : public ::testing::Test {
protected:
    // Reads every item (or line) of content through file number 1.
    std::vector<std::string> Items(const std::string& content) { return ReadAll(content, false); }
    std::vector<std::string> Lines(const std::string& content) { return ReadAll(content, true); }

    std::vector<std::string> ReadAll(const std::string& content, bool lines) {
        WriteFile("page.htm", content);
        PageFiles files;
        EXPECT_TRUE(files.Open("page.htm", OpenMode::Input, 1));
        std::vector<std::string> out;
        while (!files.AtEnd(1)) {
            auto next = lines ? files.ReadLine(1) : files.ReadItem(1);
            if (!next) break;
            out.push_back(*next);
        }
        EXPECT_FALSE(files.ReadItem(1).has_value()) << "reading past the end must fail";
        return out;
    }

    Sandbox sandbox_;
    ScopedCwd cwd_{sandbox_.Path()};
};

using V = std::vector<std::string>;

TEST_F(PageFilesTest, LinesEndAtCrOrCrLfButNotBareLf) {
    EXPECT_EQ(Lines("one\r\ntwo\rthree"), (V{"one", "two", "three"}));
    EXPECT_EQ(Lines("a\nb\nc\n"), (V{"a\nb\nc\n"}));
    EXPECT_EQ(Lines("a\r\n\r\nb\r\n"), (V{"a", "", "b"}));
    EXPECT_EQ(Lines(std::string("a\0b\r\n\0", 6)), (V{std::string("a\0b", 3), std::string(1, '\0')}));
}

TEST_F(PageFilesTest, QuotedItemsKeepCommasAndDropQuotes) {
    EXPECT_EQ(Items("x,\"a,b\",y"), (V{"x", "a,b", "y"}));
    // Only a comma or line end right after the closing quote belongs to the item.
    EXPECT_EQ(Items("  \"q\"  ,z"), (V{"q", "", "z"}));
}

TEST_F(PageFilesTest, ClosingQuoteFollowedByOtherTextStartsTheNextItem) {
    // The feed's "key":"value" pairs arrive as the key, then the colon with the quoted value.
    EXPECT_EQ(Items("\"k\":\"v\",z"), (V{"k", ":\"v\"", "z"}));
    EXPECT_EQ(Items(",\"content$src\":\"http://h/p/a.jpg\",{\"x\":1}"),
              (V{"", "content$src", ":\"http://h/p/a.jpg\"", "{\"x\":1}"}));
}

TEST_F(PageFilesTest, LineEndsCloseItems) {
    EXPECT_EQ(Items("3.5\r\n"), (V{"3.5"}));
    EXPECT_EQ(Items("3.5\n"), (V{"3.5"}));
    EXPECT_EQ(Items("a\rb\r\nc"), (V{"a", "b", "c"}));
    EXPECT_EQ(Items("\"3.5\"\r\n"), (V{"3.5"}));
    EXPECT_EQ(Items("\t 3.5,more"), (V{"3.5", "more"}));
    EXPECT_EQ(Items("3.5 "), (V{"3.5 "}));
}

TEST_F(PageFilesTest, UnterminatedQuoteRunsToTheEnd) {
    EXPECT_EQ(Items("\"a,b\r\nc"), (V{"a,b\r\nc"}));
}

TEST_F(PageFilesTest, EmptyFileIsAtEndAtOnce) {
    WriteFile("empty.htm", "");
    PageFiles files;
    ASSERT_TRUE(files.Open("empty.htm", OpenMode::Input, 1));
    EXPECT_TRUE(files.AtEnd(1));
    EXPECT_FALSE(files.ReadLine(1).has_value());
    EXPECT_EQ(files.Length(1), 0);
}

TEST_F(PageFilesTest, FileNumbersAreCheckedAndIndependent) {
    WriteFile("a.htm", "a1\rA2");
    WriteFile("b.htm", "b1\rB2");
    PageFiles files;
    EXPECT_FALSE(files.Open("a.htm", OpenMode::Input, 0));
    EXPECT_FALSE(files.Open("a.htm", OpenMode::Input, 5));
    ASSERT_TRUE(files.Open("a.htm", OpenMode::Input, 1));
    EXPECT_FALSE(files.Open("b.htm", OpenMode::Input, 1)) << "number 1 is in use";
    ASSERT_TRUE(files.Open("b.htm", OpenMode::Input, 3));
    EXPECT_EQ(files.ReadLine(1), "a1");
    EXPECT_EQ(files.ReadLine(3), "b1");
    files.Close(3);
    EXPECT_TRUE(files.AtEnd(3)) << "a closed number ends reading loops";
    EXPECT_FALSE(files.ReadLine(3).has_value());
    EXPECT_EQ(files.ReadLine(1), "A2");
    files.CloseAll();
    EXPECT_TRUE(files.Open("b.htm", OpenMode::Input, 1));
}

TEST_F(PageFilesTest, MissingFiles) {
    PageFiles files;
    EXPECT_FALSE(files.Open("missing.htm", OpenMode::Input, 1));
    EXPECT_FALSE(std::filesystem::exists("missing.htm"));
    EXPECT_FALSE(PageFiles::FileLength("missing.htm").has_value());
    EXPECT_FALSE(std::filesystem::exists("missing.htm")) << "measuring must not create the file";
    EXPECT_FALSE(PageFiles::Delete("missing.htm"));

    // Binary mode creates a missing file empty.
    ASSERT_TRUE(files.Open("made.jpg", OpenMode::Binary, 4));
    EXPECT_EQ(files.Length(4), 0);
    files.Close(4);
    EXPECT_TRUE(std::filesystem::exists("made.jpg"));
    EXPECT_TRUE(PageFiles::Delete("made.jpg"));
    EXPECT_FALSE(std::filesystem::exists("made.jpg"));

    std::filesystem::create_directory("dir.htm");
    EXPECT_FALSE(files.Open("dir.htm", OpenMode::Input, 1));
    EXPECT_FALSE(PageFiles::Delete("dir.htm")) << "only files are deleted";
}

TEST_F(PageFilesTest, BinaryModeKeepsContentsAndMeasures) {
    WriteFile("pic.jpg", std::string(1023, 'x'));
    PageFiles files;
    ASSERT_TRUE(files.Open("pic.jpg", OpenMode::Binary, 4));
    EXPECT_EQ(files.Length(4), 1023);
    files.Close(4);
    EXPECT_EQ(ReadFile("pic.jpg").size(), 1023u);
    EXPECT_EQ(PageFiles::FileLength("pic.jpg"), 1023);

    // Both read operations work on a binary file, and the last item is read once.
    WriteFile("page.htm", "so.addVariable('a','http://h/b.jpg')");
    ASSERT_TRUE(files.Open("page.htm", OpenMode::Binary, 3));
    std::vector<std::string> items;
    while (!files.AtEnd(3)) items.push_back(files.ReadItem(3).value_or("<fail>"));
    EXPECT_EQ(items, (V{"so.addVariable('a'", "'http://h/b.jpg')"}));
}

}  // namespace
}  // namespace gathrix
