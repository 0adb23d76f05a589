#include "update/update_check.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "support/fake_server.h"

namespace gathrix {
namespace {

namespace fs = std::filesystem;
using test::FakeServer;
using test::ReadFile;
using test::Sandbox;
using test::ScopedCwd;
using test::WriteFile;

// Everything the check tells its front end, in order, with the log as it
// stands when each message is shown.
class RecordingEvents : public RunEvents {
public:
    struct Box {
        std::string text;
        std::string title;
        BoxIcon icon;
        std::string log_at_box;
    };

    std::string log = "an album address the user typed";
    std::vector<std::string> calls;
    std::vector<Box> boxes;

    void LogReplaced(std::string_view text) override {
        calls.push_back("replace:" + std::string(text));
        log = text;
    }
    void LogAppended(std::string_view piece) override {
        calls.push_back("append:" + std::string(piece));
        log += piece;
    }
    void LogCleared() override {
        calls.push_back("clear");
        log.clear();
    }
    void Message(std::string_view text, std::string_view title, BoxIcon icon) override {
        calls.push_back("box:" + std::string(title));
        boxes.push_back({std::string(text), std::string(title), icon, log});
    }
    // None of these belongs to an update check.
    void RunStarted() override { calls.push_back("run started"); }
    void PicturesStored(std::int64_t) override { calls.push_back("stored"); }
    void Progress(const TransferProgress&) override { calls.push_back("progress"); }
    void PageFailed(std::string_view, const Failure&) override { calls.push_back("page failed"); }
    void PictureMissing(std::string_view, const Failure&) override { calls.push_back("picture missing"); }
    void NoPicturesListed(std::string_view) override { calls.push_back("no pictures"); }
    void AlbumFinished(std::int64_t, const fs::path&) override { calls.push_back("album finished"); }
    void RunEnded() override { calls.push_back("run ended"); }
};

struct VersionFileCase {
    const char* name;
    std::string bytes;
    std::optional<std::string> version;
};

void PrintTo(const VersionFileCase& c, std::ostream* os) { *os << c.name; }

class VersionFileParsing : public ::testing::TestWithParam<VersionFileCase> {};

TEST_P(VersionFileParsing, GivesTheFirstItem) { EXPECT_EQ(ParseVersionFile(GetParam().bytes), GetParam().version); }

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    UpdateCheck, VersionFileParsing,
    ::testing::Values(VersionFileCase{"Bare", "3.5", "3.5"},
                      VersionFileCase{"CrLf", "3.5\r\n", "3.5"},
                      VersionFileCase{"UnixLineEnd", "3.5\n", "3.5"},
                      VersionFileCase{"BlanksBefore", "   3.5\r\n", "3.5"},
                      VersionFileCase{"TabBefore", "\t3.5\r\n", "3.5"},
                      VersionFileCase{"Quoted", "\"3.5\"\r\n", "3.5"},
                      VersionFileCase{"QuotedWithABlank", "\"3.5 \"\r\n", "3.5 "},
                      VersionFileCase{"BlankAfterStays", "3.5 \r\n", "3.5 "},
                      VersionFileCase{"MoreItemsOnTheLine", "3.5,released 2008\r\n", "3.5"},
                      VersionFileCase{"CommaCutsTheVersion", "3,5\r\n", "3"},
                      VersionFileCase{"MoreLines", "3.5\r\n3.6\r\n", "3.5"},
                      VersionFileCase{"CaseKept", "V3.5\r\n", "V3.5"},
                      VersionFileCase{"Empty", "", std::nullopt},
                      VersionFileCase{"OnlyALineEnd", "\r\n", std::nullopt},
                      VersionFileCase{"OnlyBlanks", "  \t", std::nullopt},
                      VersionFileCase{"EmptyQuotes", "\"\"\r\n3.5", std::nullopt},
                      VersionFileCase{"EmptyFirstItem", ",3.5\r\n", std::nullopt},
                      VersionFileCase{"EmptyFirstLine", "\r\n3.5\r\n", std::nullopt}),
    [](const ::testing::TestParamInfo<VersionFileCase>& param) { return std::string(param.param.name); });
// clang-format on

// What the check makes of a published version, ours being 3.5.
struct ComparisonCase {
    const char* name;
    std::string published;
    std::optional<bool> newer;  // nullopt: not a version
};

void PrintTo(const ComparisonCase& c, std::ostream* os) { *os << c.name; }

class VersionComparison : public ::testing::TestWithParam<ComparisonCase> {};

TEST_P(VersionComparison, NumberByNumber) { EXPECT_EQ(NewerVersion(GetParam().published, "3.5"), GetParam().newer); }

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    UpdateCheck, VersionComparison,
    ::testing::Values(ComparisonCase{"Ours", "3.5", false},
                      ComparisonCase{"Older", "3.4", false},
                      ComparisonCase{"TenIsMoreThanFive", "3.10", true},
                      ComparisonCase{"NextMajor", "4", true},
                      ComparisonCase{"AMissingNumberIsZero", "3.5.0", false},
                      ComparisonCase{"AThirdNumber", "3.5.1", true},
                      ComparisonCase{"LeadingZero", "3.05", false},
                      ComparisonCase{"WithAV", "V3.6", true},
                      ComparisonCase{"BlanksAround", " 3.6 ", true},
                      ComparisonCase{"Garbage", "garbage", std::nullopt},
                      ComparisonCase{"TrailingDot", "3.", std::nullopt},
                      ComparisonCase{"TwoDots", "3..5", std::nullopt},
                      ComparisonCase{"Suffix", "3.6beta", std::nullopt},
                      ComparisonCase{"TooManyDigits", "3.1234567890", std::nullopt}),
    [](const ::testing::TestParamInfo<ComparisonCase>& param) { return std::string(param.param.name); });
// clang-format on

constexpr const char* kWaiting = "Contacting server, please wait...";
constexpr const char* kNewVersionText = "New version available ! Please visit our site to download";
constexpr const char* kSameVersionText = "No new version available";
constexpr const char* kCannotContactText = "Our page cannot be contacted";

// Each check runs in a sandbox of its own as the current directory, with the
// system's temporary folder pointed at a second sandbox, so that a file the
// check leaves behind anywhere shows up.
class UpdateCheckTest : public ::testing::Test {
protected:
    UpdateCheckTest() : cwd_(work_.Path()) {
        if (const char* old = std::getenv("TMPDIR")) old_tmpdir_ = old;
        setenv("TMPDIR", tmp_.Path().c_str(), 1);
    }
    ~UpdateCheckTest() override {
        if (old_tmpdir_) {
            setenv("TMPDIR", old_tmpdir_->c_str(), 1);
        } else {
            unsetenv("TMPDIR");
        }
    }

    bool Run() { return CheckForUpdate(ui_, server_.Url("")); }

    static std::vector<std::string> Entries(const std::string& dir) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
        return names;
    }

    void ExpectCleanAfterwards() {
        EXPECT_EQ(ui_.log, "");
        EXPECT_TRUE(Entries(tmp_.Path()).empty()) << "scratch left in the temporary folder";
        EXPECT_TRUE(Entries(work_.Path()).empty()) << "file left in the current directory";
    }

    // Outcome of a check whose version file was fetched and read.
    void ExpectAnswered(const char* text, const char* title) {
        EXPECT_EQ(ui_.calls, (std::vector<std::string>{std::string("replace:") + kWaiting, "append:OK",
                                                       std::string("box:") + title, "clear"}));
        ASSERT_EQ(ui_.boxes.size(), 1u);
        EXPECT_EQ(ui_.boxes[0].text, text);
        EXPECT_EQ(ui_.boxes[0].icon, BoxIcon::None);
        EXPECT_EQ(ui_.boxes[0].log_at_box, std::string(kWaiting) + "OK");
    }

    void ExpectFailed() {
        EXPECT_EQ(ui_.calls, (std::vector<std::string>{std::string("replace:") + kWaiting, "append:failed.",
                                                       "box:Error", "clear"}));
        ASSERT_EQ(ui_.boxes.size(), 1u);
        EXPECT_EQ(ui_.boxes[0].text, kCannotContactText);
        EXPECT_EQ(ui_.boxes[0].icon, BoxIcon::Critical);
        EXPECT_EQ(ui_.boxes[0].log_at_box, std::string(kWaiting) + "failed.");
    }

    Sandbox work_;
    Sandbox tmp_;
    ScopedCwd cwd_;
    std::optional<std::string> old_tmpdir_;
    FakeServer server_;
    RecordingEvents ui_;
};

TEST_F(UpdateCheckTest, ReportsNoNewVersionForOurs) {
    server_.Serve("/gathrix/version.txt", "\"3.5\"\r\n", "text/plain");
    EXPECT_TRUE(Run());
    ExpectAnswered(kSameVersionText, "Update checked");
    EXPECT_EQ(server_.Hits("/gathrix/version.txt"), 1);
    ExpectCleanAfterwards();
}

TEST_F(UpdateCheckTest, AnErrorPageIsAFailedDownloadNotANewVersion) {
    server_.ServeStatus("/gathrix/version.txt", 404, "<html>Not Found</html>");
    EXPECT_FALSE(Run());
    ExpectFailed();
    ExpectCleanAfterwards();

    ui_ = RecordingEvents{};
    server_.ServeStatus("/gathrix/version.txt", 500, "3.6");
    EXPECT_FALSE(Run());
    ExpectFailed();
    ExpectCleanAfterwards();
}

TEST_F(UpdateCheckTest, AMissingPageIsAFailedDownload) {
    // Nothing is served at all: the server answers 404 on its own.
    EXPECT_FALSE(Run());
    ExpectFailed();
    EXPECT_EQ(server_.Hits("/gathrix/version.txt"), 1);
    ExpectCleanAfterwards();
}

TEST_F(UpdateCheckTest, AnEmptyVersionFileIsReportedAsAFailedDownload) {
    server_.Serve("/gathrix/version.txt", "", "text/plain");
    EXPECT_FALSE(Run());
    ExpectFailed();
    ExpectCleanAfterwards();

}

TEST_F(UpdateCheckTest, AServerThatIsDownIsAFailedDownload) {
    std::string site;
    {
        FakeServer gone;
        site = gone.Url("");
    }
    EXPECT_FALSE(CheckForUpdate(ui_, site));
    ExpectFailed();
    ExpectCleanAfterwards();
}

TEST_F(UpdateCheckTest, AVersionFileInTheCurrentDirectoryIsNeitherReadNorDeleted) {
    WriteFile("version.txt", "3.5\r\n");

    // The download fails: the user's file must not be taken for the answer.
    EXPECT_FALSE(Run());
    ExpectFailed();
    EXPECT_EQ(ReadFile("version.txt"), "3.5\r\n");

    // The download succeeds: the user's file must not be replaced or removed.
    ui_ = RecordingEvents{};
    server_.Serve("/gathrix/version.txt", "3.6\r\n", "text/plain");
    EXPECT_TRUE(Run());
    ExpectAnswered(kNewVersionText, "New version");
    EXPECT_EQ(ReadFile("version.txt"), "3.5\r\n");
    EXPECT_EQ(Entries(work_.Path()), std::vector<std::string>{"version.txt"});
    EXPECT_TRUE(Entries(tmp_.Path()).empty());
}

TEST_F(UpdateCheckTest, EveryCheckFetchesTheFileAfresh) {
    server_.Serve("/gathrix/version.txt", "3.5\r\n", "text/plain");
    EXPECT_TRUE(Run());
    EXPECT_EQ(ui_.boxes.back().title, "Update checked");
    // Compared number by number: 50 is more than 5.
    server_.Serve("/gathrix/version.txt", "3.50\r\n", "text/plain");
    EXPECT_TRUE(Run());
    EXPECT_EQ(ui_.boxes.back().title, "New version");
    EXPECT_EQ(server_.Hits("/gathrix/version.txt"), 2);
    ExpectCleanAfterwards();
}

TEST_F(UpdateCheckTest, AnOlderVersionIsNotNew) {
    server_.Serve("/gathrix/version.txt", "3.4\r\n", "text/plain");
    EXPECT_TRUE(Run());
    ExpectAnswered(kSameVersionText, "Update checked");
    ExpectCleanAfterwards();
}

TEST_F(UpdateCheckTest, AFileWithoutAVersionIsAFailedCheck) {
    server_.Serve("/gathrix/version.txt", "garbage\r\n", "text/plain");
    EXPECT_FALSE(Run());
    ExpectFailed();
    ExpectCleanAfterwards();
}

}  // namespace
}  // namespace gathrix
