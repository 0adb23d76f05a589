// The test support itself: request bookkeeping of the fake server, prompt
// shutdown with clients still attached, and the file helpers.

#include "support/fake_server.h"
#include "net/page_download.h"
#include "net/session.h"
#include "net/transfer.h"
#include "net_test_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

namespace gathrix::test {
namespace {

using namespace std::chrono_literals;

TEST(FakeServer, CountsEveryRequestInOrder) {
    FakeServer server;
    Sandbox sandbox;
    server.Serve("/a", "a");
    EXPECT_EQ(server.Url("/a"), "http://127.0.0.1:" + std::to_string(server.Port()) + "/a");
    ASSERT_TRUE(net::DownloadToFile(server.Url("/a"), sandbox.Path() + "/f"));
    EXPECT_FALSE(net::DownloadToFile(server.Url("/unknown?x=1"), sandbox.Path() + "/f"));
    ASSERT_TRUE(net::DownloadToFile(server.Url("/a?y=2"), sandbox.Path() + "/f"));
    EXPECT_EQ(server.Requests(), (std::vector<std::string>{"/a", "/unknown?x=1", "/a?y=2"}));
    EXPECT_EQ(server.Hits("/a"), 2);
    EXPECT_EQ(server.Hits("/unknown"), 1);
    EXPECT_EQ(server.Hits("/a?y=2"), 1);
    EXPECT_EQ(server.Hits("/b"), 0);
    EXPECT_EQ(server.Connections(), 3);
}

TEST(FakeServer, QueryRoutesTakePrecedenceOverThePath) {
    FakeServer server;
    Sandbox sandbox;
    server.Serve("/photo", "plain");
    server.Serve("/photo?size=o", "original");
    const std::string file = sandbox.Path() + "/f";
    ASSERT_TRUE(net::DownloadToFile(server.Url("/photo?size=o"), file));
    EXPECT_EQ(ReadFile(file), "original");
    ASSERT_TRUE(net::DownloadToFile(server.Url("/photo?size=s"), file));
    EXPECT_EQ(ReadFile(file), "plain");
}

TEST(FakeServer, ServeOthersAnswersWhatNoRouteServesUntilReset) {
    FakeServer server;
    Sandbox sandbox;
    const std::string file = sandbox.Path() + "/f";
    server.Serve("/a", "a");
    server.ServeOthers([](const std::string& host, const std::string& target) {
        return FakeServer::Reply{target == "/gone" ? 410 : 200, host + " " + target};
    });
    ASSERT_TRUE(net::DownloadToFile(server.Url("/a"), file));
    EXPECT_EQ(ReadFile(file), "a");
    ASSERT_TRUE(net::DownloadToFile(server.Url("/b?c=d"), file));
    EXPECT_EQ(ReadFile(file), "127.0.0.1:" + std::to_string(server.Port()) + " /b?c=d");
    EXPECT_FALSE(net::DownloadToFile(server.Url("/gone"), file));
    EXPECT_EQ(server.Requests(), (std::vector<std::string>{"/a", "/b?c=d", "/gone"}));

    server.Reset();
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(server.Connections(), 0);
    EXPECT_FALSE(net::DownloadToFile(server.Url("/a"), file));
    EXPECT_FALSE(net::DownloadToFile(server.Url("/b?c=d"), file));
    EXPECT_EQ(server.Requests(), (std::vector<std::string>{"/a", "/b?c=d"}));
}

TEST(FakeServer, StopsWhileClientsHangOrKeepConnectionsOpen) {
    Sandbox sandbox;
    net::Transfer hanging;
    net::Transfer idle;
    {
        FakeServer server;
        server.ServeHang("/hang");
        server.Serve("/a", "a");
        ASSERT_TRUE(idle.Execute(server.Url("/a"), sandbox.Path()));
        ASSERT_EQ(RunToEnd(idle), net::TransferResult::Complete);  // its connection stays open
        ASSERT_TRUE(hanging.Execute(server.Url("/hang"), sandbox.Path()));
        while (server.Hits("/hang") == 0) hanging.Wait();
    }  // must return although both clients are still connected
    // Stopping releases the hanging request with an error status or a cut
    // connection; either way it ends.
    EXPECT_NE(RunToEnd(hanging), net::TransferResult::Running);
    EXPECT_NE(hanging.Status(), 200);
}

TEST(SupportSandbox, IsAFreshFolderRemovedWithItsContents) {
    std::string path;
    {
        Sandbox a;
        Sandbox b;
        path = a.Path();
        EXPECT_NE(a.Path(), b.Path());
        EXPECT_TRUE(std::filesystem::is_directory(path));
        EXPECT_TRUE(ListDir(path).empty());
        std::filesystem::create_directory(path + "/sub");
        WriteFile(path + "/sub/file", "x");
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(SupportScopedCwd, RestoresTheFormerDirectory) {
    Sandbox sandbox;
    const auto before = std::filesystem::current_path();
    {
        ScopedCwd cwd(sandbox.Path());
        EXPECT_EQ(std::filesystem::current_path(), std::filesystem::canonical(sandbox.Path()));
        WriteFile("here.txt", "x");
    }
    EXPECT_EQ(std::filesystem::current_path(), before);
    EXPECT_EQ(ReadFile(sandbox.Path() + "/here.txt"), "x");
}

TEST(SupportFiles, ReadAndWriteKeepEveryByte) {
    Sandbox sandbox;
    const std::string path = sandbox.Path() + "/f";
    EXPECT_EQ(ReadFile(path), "");
    const std::string bytes = BinaryBody(1000) + "\r\n\r";
    WriteFile(path, bytes);
    EXPECT_EQ(ReadFile(path), bytes);
    WriteFile(path, "ab");
    EXPECT_EQ(ReadFile(path), "ab");
}

}  // namespace
}  // namespace gathrix::test
