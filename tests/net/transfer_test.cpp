// Transfer against the local fake server: bodies spooled and committed exactly,
// failures leaving nothing behind, cancelling, time-outs and connection reuse.

#include "net/transfer.h"
#include "net/page_download.h"
#include "net/session.h"
#include "net_test_util.h"
#include "support/fake_server.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace gathrix::test {
namespace {

using namespace std::chrono_literals;
using net::Transfer;
using net::TransferResult;

class TransferTest : public ::testing::Test {
protected:
    std::string Target(const std::string& name = "pic.jpg") const { return sandbox.Path() + "/" + name; }
    std::set<std::string> Files() const { return ListDir(sandbox.Path()); }

    // Runs a GET of path to its end.
    TransferResult Get(const std::string& path) {
        EXPECT_TRUE(transfer.Execute(server.Url(path), sandbox.Path()));
        return RunToEnd(transfer);
    }

    FakeServer server;
    Sandbox sandbox;
    Transfer transfer;  // declared last: closes its connections before the server stops
};

class TransferSizes : public TransferTest, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(TransferSizes, CommitsTheBodyByteForByte) {
    const std::string body = BinaryBody(GetParam());
    server.Serve("/pic.jpg", body, "image/jpeg");
    ASSERT_EQ(Get("/pic.jpg"), TransferResult::Complete);
    EXPECT_EQ(transfer.Status(), 200);
    EXPECT_EQ(transfer.BodySize(), static_cast<std::int64_t>(body.size()));
    EXPECT_EQ(transfer.GetHeader("Content-Length"), std::to_string(body.size()));
    EXPECT_FALSE(std::filesystem::exists(Target())) << "nothing in place before Commit";
    ASSERT_TRUE(transfer.Commit(Target()));
    EXPECT_EQ(ReadFile(Target()), body);
    EXPECT_EQ(Files(), std::set<std::string>{"pic.jpg"});
}

INSTANTIATE_TEST_SUITE_P(Bodies, TransferSizes, ::testing::Values(0u, 1u, 204799u, 204800u, 204801u, 512000u));

TEST_F(TransferTest, GeneratedMegabytesArriveIntact) {
    const std::size_t size = 8u << 20;
    server.ServeGenerated("/big", size);
    ASSERT_EQ(Get("/big"), TransferResult::Complete);
    ASSERT_TRUE(transfer.Commit(Target()));
    const std::string stored = ReadFile(Target());
    ASSERT_EQ(stored.size(), size);
    for (std::size_t i = 0; i < size; ++i) {
        if (stored[i] != FakeServer::GeneratedByte(i)) FAIL() << "byte " << i << " differs";
    }
}

TEST_F(TransferTest, CommitReplacesAnOlderFile) {
    WriteFile(Target(), std::string(10000, 'o'));
    server.Serve("/pic.jpg", "new");
    ASSERT_EQ(Get("/pic.jpg"), TransferResult::Complete);
    ASSERT_TRUE(transfer.Commit(Target()));
    EXPECT_EQ(ReadFile(Target()), "new");
    EXPECT_FALSE(transfer.Commit(Target())) << "a body can be committed only once";
    EXPECT_EQ(ReadFile(Target()), "new");
}

TEST_F(TransferTest, ErrorStatusIsACompleteResponseWithItsBody) {
    server.ServeStatus("/gone.jpg", 404, "<html>no such photo</html>");
    ASSERT_EQ(Get("/gone.jpg"), TransferResult::Complete);
    EXPECT_EQ(transfer.Status(), 404);
    ASSERT_TRUE(transfer.Commit(Target()));
    EXPECT_EQ(ReadFile(Target()), "<html>no such photo</html>");

    server.ServeStatus("/broken.jpg", 500, "oops");
    ASSERT_EQ(Get("/broken.jpg"), TransferResult::Complete);
    EXPECT_EQ(transfer.Status(), 500);
}

TEST_F(TransferTest, TruncatedBodyFailsAndLeavesNothing) {
    WriteFile(Target(), "older picture");
    server.ServeTruncated("/cut.jpg", BinaryBody(400000), 150000);
    EXPECT_EQ(Get("/cut.jpg"), TransferResult::Failed);
    EXPECT_FALSE(transfer.Commit(Target()));
    EXPECT_EQ(ReadFile(Target()), "older picture");
    EXPECT_EQ(Files(), std::set<std::string>{"pic.jpg"});
}

TEST_F(TransferTest, ChunkedBodyIsReadToItsEnd) {
    const std::string body = BinaryBody(700000);
    server.ServeChunked("/chunked.jpg", body);
    ASSERT_EQ(Get("/chunked.jpg"), TransferResult::Complete);
    EXPECT_FALSE(transfer.GetHeader("Content-Length").has_value());
    EXPECT_EQ(transfer.GetHeader("transfer-encoding"), "chunked");
    ASSERT_TRUE(transfer.Commit(Target()));
    EXPECT_EQ(ReadFile(Target()), body);
}

TEST_F(TransferTest, FollowsRedirectsAndReportsTheLastResponse) {
    server.Serve("/real.jpg", "picture", "image/jpeg");
    server.ServeRedirect("/short", "/real.jpg");
    ASSERT_EQ(Get("/short"), TransferResult::Complete);
    EXPECT_EQ(transfer.Status(), 200);
    EXPECT_FALSE(transfer.GetHeader("Location").has_value()) << "headers are those of the final response";
    EXPECT_EQ(transfer.GetHeader("content-type"), "image/jpeg");
    ASSERT_TRUE(transfer.Commit(Target()));
    EXPECT_EQ(ReadFile(Target()), "picture");
}

TEST_F(TransferTest, RedirectLoopFails) {
    server.ServeRedirectLoop("/loop");
    EXPECT_EQ(Get("/loop"), TransferResult::Failed);
    EXPECT_TRUE(Files().empty());
    EXPECT_LE(server.Hits("/loop"), 12);
}

TEST_F(TransferTest, HeaderNamesAreCaseInsensitive) {
    server.Serve("/pic.jpg", "12345", "image/png");
    ASSERT_EQ(Get("/pic.jpg"), TransferResult::Complete);
    EXPECT_EQ(transfer.GetHeader("CONTENT-LENGTH"), "5");
    EXPECT_EQ(transfer.GetHeader("content-length"), "5");
    EXPECT_EQ(transfer.GetHeader("Content-Type"), "image/png");
    EXPECT_FALSE(transfer.GetHeader("X-Not-There").has_value());
    EXPECT_FALSE(transfer.GetHeader("Content").has_value());
}

TEST_F(TransferTest, ServerThatNeverAnswersTimesOut) {
    server.ServeHang("/hang.jpg");
    transfer.SetRequestTimeout(1s);
    EXPECT_EQ(Get("/hang.jpg"), TransferResult::Failed);
    EXPECT_EQ(transfer.Status(), 0);
    EXPECT_TRUE(Files().empty());
}

TEST_F(TransferTest, SlowButSteadyBodyCompletes) {
    const std::string body = BinaryBody(3000);
    server.ServeTrickle("/slow.jpg", body, 300, 50ms);
    transfer.SetRequestTimeout(1s);
    ASSERT_EQ(Get("/slow.jpg"), TransferResult::Complete);
    ASSERT_TRUE(transfer.Commit(Target()));
    EXPECT_EQ(ReadFile(Target()), body);
}

TEST_F(TransferTest, RefusedConnectionFails) {
    std::string address;
    {
        FakeServer gone;
        address = gone.Url("/pic.jpg");
    }
    ASSERT_TRUE(transfer.Execute(address, sandbox.Path()));
    EXPECT_EQ(RunToEnd(transfer), TransferResult::Failed);
    EXPECT_EQ(transfer.Status(), 0);
    EXPECT_TRUE(Files().empty());
}

TEST_F(TransferTest, CancelInTheMiddleRemovesTheSpoolFile) {
    server.ServeTrickle("/slow.jpg", BinaryBody(100000), 1000, 20ms);
    ASSERT_TRUE(transfer.Execute(server.Url("/slow.jpg"), sandbox.Path()));
    EXPECT_FALSE(transfer.Idle());
    while (transfer.BodySize() < 3000 && transfer.Wait()) {
    }
    ASSERT_TRUE(transfer.StillExecuting());
    EXPECT_EQ(Files().size(), 1u) << "the body is spooled to disk while it arrives";
    transfer.Cancel();
    EXPECT_EQ(transfer.Result(), TransferResult::Cancelled);
    EXPECT_TRUE(transfer.Idle());
    EXPECT_FALSE(transfer.StillExecuting());
    EXPECT_FALSE(transfer.Commit(Target()));
    EXPECT_TRUE(Files().empty());

    // The same transfer goes on to the next request.
    server.Serve("/next.jpg", "next");
    ASSERT_EQ(Get("/next.jpg"), TransferResult::Complete);
    ASSERT_TRUE(transfer.Commit(Target()));
    EXPECT_EQ(ReadFile(Target()), "next");
}

TEST_F(TransferTest, CancelDropsAnUncommittedBody) {
    server.Serve("/pic.jpg", "body");
    ASSERT_EQ(Get("/pic.jpg"), TransferResult::Complete);
    transfer.Cancel();
    EXPECT_TRUE(Files().empty());
    EXPECT_EQ(transfer.Status(), 0);
    EXPECT_FALSE(transfer.Commit(Target()));
    transfer.Cancel();  // again, and when idle: harmless
    EXPECT_EQ(transfer.Result(), TransferResult::Cancelled);
}

TEST_F(TransferTest, ExecuteCancelsTheRunningRequest) {
    server.ServeTrickle("/slow.jpg", BinaryBody(100000), 1000, 20ms);
    server.Serve("/fast.jpg", "fast");
    ASSERT_TRUE(transfer.Execute(server.Url("/slow.jpg"), sandbox.Path()));
    while (transfer.BodySize() == 0 && transfer.Wait()) {
    }
    ASSERT_EQ(Get("/fast.jpg"), TransferResult::Complete);
    EXPECT_EQ(transfer.BodySize(), 4);
    ASSERT_TRUE(transfer.Commit(Target()));
    EXPECT_EQ(ReadFile(Target()), "fast");
    EXPECT_EQ(Files(), std::set<std::string>{"pic.jpg"});
}

TEST_F(TransferTest, DestructorDuringARequestRemovesTheSpoolFile) {
    server.ServeTrickle("/slow.jpg", BinaryBody(100000), 1000, 20ms);
    {
        Transfer local;
        ASSERT_TRUE(local.Execute(server.Url("/slow.jpg"), sandbox.Path()));
        while (local.BodySize() == 0 && local.Wait()) {
        }
        EXPECT_EQ(Files().size(), 1u);
    }
    EXPECT_TRUE(Files().empty());
}

TEST_F(TransferTest, KeepsOneConnectionAcrossRequests) {
    server.Serve("/a.jpg", "a");
    server.Serve("/b.jpg", "b");
    server.ServeStatus("/c.jpg", 404);
    for (const char* path : {"/a.jpg", "/b.jpg", "/c.jpg", "/a.jpg"}) {
        ASSERT_EQ(Get(path), TransferResult::Complete) << path;
        transfer.Cancel();
    }
    EXPECT_EQ(server.Hits("/a.jpg"), 2);
    EXPECT_EQ(server.Connections(), 1);
}

TEST_F(TransferTest, RecoversAfterABrokenConnection) {
    server.ServeTruncated("/cut.jpg", "0123456789", 4);
    server.Serve("/ok.jpg", "fine");
    EXPECT_EQ(Get("/cut.jpg"), TransferResult::Failed);
    ASSERT_EQ(Get("/ok.jpg"), TransferResult::Complete);
    ASSERT_TRUE(transfer.Commit(Target()));
    EXPECT_EQ(ReadFile(Target()), "fine");
}

TEST_F(TransferTest, ExecuteRefusesWhatItCannotStart) {
    EXPECT_TRUE(transfer.Idle());
    EXPECT_FALSE(transfer.StillExecuting());
    for (const std::string& address : {std::string(), std::string("http://"), std::string("file:///etc/hostname"),
                                       std::string("ftp://127.0.0.1/x")}) {
        SCOPED_TRACE(address);
        EXPECT_FALSE(transfer.Execute(address, sandbox.Path()));
        EXPECT_EQ(transfer.Result(), TransferResult::Failed);
        EXPECT_FALSE(transfer.StillExecuting());
        EXPECT_FALSE(transfer.Wait());
    }
    server.Serve("/pic.jpg", "x");
    EXPECT_FALSE(transfer.Execute(server.Url("/pic.jpg"), sandbox.Path() + "/missing-folder"));
    EXPECT_EQ(transfer.Result(), TransferResult::Failed);
    EXPECT_FALSE(transfer.StillExecuting());
    EXPECT_TRUE(Files().empty());
}

TEST_F(TransferTest, SpoolsIntoTheCurrentDirectoryWhenGivenNone) {
    ScopedCwd cwd(sandbox.Path());
    server.Serve("/pic.jpg", "here");
    ASSERT_TRUE(transfer.Execute(server.Url("/pic.jpg"), ""));
    ASSERT_EQ(RunToEnd(transfer), TransferResult::Complete);
    ASSERT_TRUE(transfer.Commit("pic.jpg"));
    EXPECT_EQ(Files(), std::set<std::string>{"pic.jpg"});
}

}  // namespace
}  // namespace gathrix::test
