// DownloadToFile against the local fake server: exact bodies, and every kind
// of failure leaving the target as it was with no spool file behind.

#include "detail/request_options.h"
#include "net/page_download.h"
#include "net/session.h"
#include "net/transfer.h"
#include "net_test_util.h"
#include "support/fake_server.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace gathrix::test {
namespace {

using namespace std::chrono_literals;

class DownloadToFile : public ::testing::Test {
protected:
    std::string Target() const { return sandbox.Path() + "/test.htm"; }

    // The target still holds its old content and nothing else is in the folder.
    void ExpectOldFileSurvives() const {
        EXPECT_EQ(ReadFile(Target()), "old page");
        EXPECT_EQ(ListDir(sandbox.Path()), std::set<std::string>{"test.htm"});
    }

    FakeServer server;
    Sandbox sandbox;
};

class DownloadSizes : public DownloadToFile, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(DownloadSizes, StoresTheBodyByteForByte) {
    const std::string body = BinaryBody(GetParam());
    server.Serve("/page", body);
    ASSERT_TRUE(net::DownloadToFile(server.Url("/page"), Target()));
    EXPECT_EQ(ReadFile(Target()), body);
    EXPECT_EQ(ListDir(sandbox.Path()), std::set<std::string>{"test.htm"});
}

INSTANTIATE_TEST_SUITE_P(Bodies, DownloadSizes, ::testing::Values(0u, 1u, 300u, 204800u, 204801u, 3u << 20));

TEST_F(DownloadToFile, ReplacesAnExistingFileWhole) {
    WriteFile(Target(), std::string(5000, 'x'));
    server.Serve("/page", "short");
    ASSERT_TRUE(net::DownloadToFile(server.Url("/page"), Target()));
    EXPECT_EQ(ReadFile(Target()), "short");
}

TEST_F(DownloadToFile, ErrorStatusFailsAndKeepsTheOldFile) {
    for (int status : {400, 404, 410, 500, 503}) {
        SCOPED_TRACE(status);
        WriteFile(Target(), "old page");
        server.ServeStatus("/page", status, "<html>error page</html>");
        EXPECT_FALSE(net::DownloadToFile(server.Url("/page"), Target()));
        ExpectOldFileSurvives();
    }
}

TEST_F(DownloadToFile, ErrorStatusLeavesNoFileWhenThereWasNone) {
    server.ServeStatus("/missing", 404);
    EXPECT_FALSE(net::DownloadToFile(server.Url("/missing"), Target()));
    EXPECT_TRUE(ListDir(sandbox.Path()).empty());
    // An address the server does not know at all is a 404 as well.
    EXPECT_FALSE(net::DownloadToFile(server.Url("/nowhere"), Target()));
    EXPECT_TRUE(ListDir(sandbox.Path()).empty());
}

TEST_F(DownloadToFile, TruncatedBodyFails) {
    WriteFile(Target(), "old page");
    server.ServeTruncated("/page", BinaryBody(300000), 100000);
    EXPECT_FALSE(net::DownloadToFile(server.Url("/page"), Target()));
    ExpectOldFileSurvives();

    server.ServeTruncated("/empty", "announced", 0);
    EXPECT_FALSE(net::DownloadToFile(server.Url("/empty"), Target()));
    ExpectOldFileSurvives();
}

TEST_F(DownloadToFile, ChunkedBodyIsReadToItsEnd) {
    const std::string body = BinaryBody(500000);
    server.ServeChunked("/page", body);
    ASSERT_TRUE(net::DownloadToFile(server.Url("/page"), Target()));
    EXPECT_EQ(ReadFile(Target()), body);
}

TEST_F(DownloadToFile, FollowsRedirects) {
    server.Serve("/final", "the page");
    server.ServeRedirect("/moved", "/final");
    server.ServeRedirect("/old", server.Url("/moved"));
    ASSERT_TRUE(net::DownloadToFile(server.Url("/old"), Target()));
    EXPECT_EQ(ReadFile(Target()), "the page");
    EXPECT_EQ(server.Hits("/final"), 1);
}

TEST_F(DownloadToFile, RedirectLoopFails) {
    WriteFile(Target(), "old page");
    server.ServeRedirectLoop("/loop");
    EXPECT_FALSE(net::DownloadToFile(server.Url("/loop"), Target()));
    ExpectOldFileSurvives();
    EXPECT_LE(server.Hits("/loop"), 12);
}

TEST_F(DownloadToFile, ServerThatNeverAnswersTimesOut) {
    WriteFile(Target(), "old page");
    server.ServeHang("/hang");
    EXPECT_FALSE(net::DownloadToFile(server.Url("/hang"), Target(), 1s));
    ExpectOldFileSurvives();
}

TEST_F(DownloadToFile, SlowButSteadyBodyCompletes) {
    const std::string body = BinaryBody(2000);
    server.ServeTrickle("/slow", body, 250, 40ms);
    ASSERT_TRUE(net::DownloadToFile(server.Url("/slow"), Target(), 1s));
    EXPECT_EQ(ReadFile(Target()), body);
}

TEST_F(DownloadToFile, RefusedConnectionFails) {
    std::string address;
    {
        FakeServer gone;
        address = gone.Url("/page");
    }
    WriteFile(Target(), "old page");
    EXPECT_FALSE(net::DownloadToFile(address, Target(), 2s));
    ExpectOldFileSurvives();
}

TEST_F(DownloadToFile, RejectsAddressesThatAreNotHttp) {
    WriteFile(sandbox.Path() + "/secret", "local data");
    for (const std::string& address : {std::string(), std::string("http://"), "file://" + sandbox.Path() + "/secret",
                                       std::string("ftp://127.0.0.1/x"), std::string("http://127.0.0.1:notaport/x")}) {
        SCOPED_TRACE(address);
        EXPECT_FALSE(net::DownloadToFile(address, Target(), 2s));
        EXPECT_FALSE(std::filesystem::exists(Target()));
    }
}

// Encoded as browsers do when sent: blanks, bytes past ASCII and marks that a
// request line cannot hold, past the host only; an encoded "%" stays.
TEST(RequestAddress, EncodesWhatARequestLineCannotHold) {
    // clang-format off
    const std::pair<std::string, std::string> rows[] = {
        {"http://h/a/b.jpg?x=1#f", "http://h/a/b.jpg?x=1#f"},
        {"http://h/\xC3\x89t\xC3\xA9 2009/", "http://h/%C3%89t%C3%A9%202009/"},
        {"http://h/a%20b%zz%.jpg", "http://h/a%20b%zz%.jpg"},
        {"http://h/<\"`{x}\">?q=a b", "http://h/%3C%22%60%7Bx%7D%22%3E?q=a%20b"},
        {"http://h\xC3\xA9 x:80?a b", "http://h\xC3\xA9 x:80?a%20b"},
        {"h/a b", "h/a%20b"},
        {"http://h/a\x01\x7F|^\\.jpg", "http://h/a\x01\x7F|^\\.jpg"},
        {"", ""},
    };
    // clang-format on
    for (const auto& [given, sent] : rows) EXPECT_EQ(net::detail::RequestAddress(given), sent) << given;
    EXPECT_TRUE(net::detail::AddressAccepted("http://h/\xC3\x89t\xC3\xA9 2009/"));
    EXPECT_FALSE(net::detail::AddressAccepted("http://h/a\x01.jpg"));
}

TEST_F(DownloadToFile, AddressWithBlanksAndLettersPastAsciiIsSentEncoded) {
    server.Serve("/%C3%89t%C3%A9%202009/a%25b.htm", "body");
    EXPECT_TRUE(net::DownloadToFile(server.Url("/\xC3\x89t\xC3\xA9 2009/a%25b.htm"), Target(), 2s));
    EXPECT_EQ(ReadFile(Target()), "body");
}

TEST_F(DownloadToFile, FolderThatDoesNotExistFails) {
    server.Serve("/page", "body");
    EXPECT_FALSE(net::DownloadToFile(server.Url("/page"), sandbox.Path() + "/no/such/dir/test.htm"));
    EXPECT_TRUE(ListDir(sandbox.Path()).empty());
}

TEST_F(DownloadToFile, BareFileNameLandsInTheCurrentDirectory) {
    server.Serve("/page", "here");
    ScopedCwd cwd(sandbox.Path());
    ASSERT_TRUE(net::DownloadToFile(server.Url("/page"), "test.htm"));
    EXPECT_EQ(ReadFile("test.htm"), "here");
    EXPECT_EQ(ListDir("."), std::set<std::string>{"test.htm"});
}

TEST_F(DownloadToFile, GoesThroughTheProxyOfTheEnvironment) {
    // The fake server plays the proxy: it receives the full address of a host
    // that is never contacted directly (.invalid names do not resolve).
    server.Serve("http://album.invalid/page.htm", "via proxy");
    ScopedEnv proxy("http_proxy", server.Url(""));
    ScopedEnv no_proxy("no_proxy", "");
    ScopedEnv no_proxy_upper("NO_PROXY", "");
    ASSERT_TRUE(net::DownloadToFile("http://album.invalid/page.htm", Target()));
    EXPECT_EQ(ReadFile(Target()), "via proxy");
    EXPECT_EQ(server.Hits("http://album.invalid/page.htm"), 1);
}

}  // namespace
}  // namespace gathrix::test
