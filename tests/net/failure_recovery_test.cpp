// Every way a request can fail, each followed on the same Transfer (and by the
// next page download) by a good request that must arrive whole: nothing of how
// one request ended may carry over to the next.

#include "net/page_download.h"
#include "net/session.h"
#include "net/transfer.h"
#include "net_test_util.h"
#include "support/fake_server.h"
#include "support/raw_server.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>

namespace gathrix::test {
namespace {

using namespace std::chrono_literals;

const std::string kBody = "good picture bytes";
const std::string kHundred(100, 'x');

struct Failure {
    const char* name;
    // Sets the failure up (on the server or on a raw server it keeps alive in
    // keep) and returns the address that fails.
    std::function<std::string(FakeServer&, std::unique_ptr<RawServer>&)> address;
};

std::string Raw(std::unique_ptr<RawServer>& keep, const std::string& headers) {
    keep = std::make_unique<RawServer>("HTTP/1.1 200 OK\r\n" + headers + "Connection: close\r\n\r\n" + kHundred);
    return keep->Url("/a.jpg");
}

// clang-format off
const Failure kFailures[] = {
    {"UnknownHost", [](FakeServer&, auto&) { return std::string("http://nonexistent.invalid/a.jpg"); }},
    {"ConnectionRefused", [](FakeServer&, auto&) { return std::string("http://127.0.0.1:1/a.jpg"); }},
    {"RedirectToFile", [](FakeServer& s, auto&) { s.ServeRedirect("/a.jpg", "file:///etc/passwd"); return s.Url("/a.jpg"); }},
    {"RedirectToFtp", [](FakeServer& s, auto&) { s.ServeRedirect("/a.jpg", "ftp://127.0.0.1/a.jpg"); return s.Url("/a.jpg"); }},
    {"RedirectToGopher", [](FakeServer& s, auto&) { s.ServeRedirect("/a.jpg", "gopher://127.0.0.1/a"); return s.Url("/a.jpg"); }},
    {"RedirectLoop", [](FakeServer& s, auto&) { s.ServeRedirectLoop("/a.jpg"); return s.Url("/a.jpg"); }},
    {"TimeOut", [](FakeServer& s, auto&) { s.ServeHang("/a.jpg"); return s.Url("/a.jpg"); }},
    {"NotFound", [](FakeServer& s, auto&) { s.ServeStatus("/a.jpg", 404); return s.Url("/a.jpg"); }},
    {"BodyCutShort", [](FakeServer& s, auto&) { s.ServeTruncated("/a.jpg", kHundred, 40); return s.Url("/a.jpg"); }},
    {"LengthNotANumber", [](FakeServer&, auto& k) { return Raw(k, "Content-Length: 1e2\r\n"); }},
    {"LengthOverflows", [](FakeServer&, auto& k) { return Raw(k, "Content-Length: 99999999999999999999999\r\n"); }},
    {"LengthTwiceDifferent", [](FakeServer&, auto& k) { return Raw(k, "Content-Length: 100\r\nContent-Length: 50\r\n"); }},
};
// clang-format on

void PrintTo(const Failure& failure, std::ostream* os) { *os << failure.name; }

class FailureThenGood : public ::testing::TestWithParam<Failure> {
protected:
    FailureThenGood() { server.Serve("/b.jpg", kBody); }

    FakeServer server;
    std::unique_ptr<RawServer> raw;
    Sandbox sandbox;
};

TEST_P(FailureThenGood, NextPictureOnTheSameTransferArrives) {
    net::Transfer transfer;
    transfer.SetRequestTimeout(1s);
    const std::string bad = GetParam().address(server, raw);
    transfer.Execute(bad, sandbox.Path());
    const net::TransferResult first = RunToEnd(transfer);
    EXPECT_FALSE(first == net::TransferResult::Complete && transfer.Status() < 400);
    transfer.Cancel();

    ASSERT_TRUE(transfer.Execute(server.Url("/b.jpg"), sandbox.Path()));
    ASSERT_EQ(RunToEnd(transfer), net::TransferResult::Complete);
    EXPECT_EQ(transfer.Status(), 200);
    ASSERT_TRUE(transfer.Commit(sandbox.Path() + "/b.jpg"));
    transfer.Cancel();
    EXPECT_EQ(ReadFile(sandbox.Path() + "/b.jpg"), kBody);
    EXPECT_EQ(ListDir(sandbox.Path()), (std::set<std::string>{"b.jpg"}));
}

TEST_P(FailureThenGood, NextPageArrivesAndAFailedPageLeavesNoFile) {
    const std::string bad = GetParam().address(server, raw);
    EXPECT_FALSE(net::DownloadPage(bad, sandbox.Path(), 1s).has_value());
    EXPECT_TRUE(ListDir(sandbox.Path()).empty());

    std::optional<net::SavedPage> page = net::DownloadPage(server.Url("/b.jpg"), sandbox.Path(), 1s);
    ASSERT_TRUE(page.has_value());
    EXPECT_EQ(ReadFile(page->Path().string()), kBody);
    // A hidden private name in the folder, gone with the page.
    EXPECT_EQ(page->Path().parent_path(), std::filesystem::absolute(sandbox.Path()));
    EXPECT_EQ(page->Path().filename().string().front(), '.');
    page.reset();
    EXPECT_TRUE(ListDir(sandbox.Path()).empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, FailureThenGood, ::testing::ValuesIn(kFailures),
                         [](const auto& row) { return std::string(row.param.name); });

// A file of certificate authorities that cannot be used fails the https
// request as such (libcurl reads it before the handshake); plain http never
// reads it.
TEST(CertificateAuthorities, FileThatCannotBeUsed) {
    FakeServer server;
    server.Serve("/a.jpg", kBody);
    Sandbox sandbox;
    net::Session session;
    session.SetCaFile(sandbox.Path() + "/missing.pem");
    net::Transfer transfer(session);
    std::string https = server.Url("/a.jpg");
    https.replace(0, 4, "https");
    ASSERT_TRUE(transfer.Execute(https, sandbox.Path()));
    EXPECT_EQ(RunToEnd(transfer), net::TransferResult::Failed);
    EXPECT_EQ(transfer.WhyFailed().kind, FailureKind::BadCaFile);
    ASSERT_TRUE(transfer.Execute(server.Url("/a.jpg"), sandbox.Path()));
    EXPECT_EQ(RunToEnd(transfer), net::TransferResult::Complete);
}

TEST(ContentLength, SoundForms) {
    // Matching repeated values, a folded list of equal values and blanks around
    // the number are all accepted and the body is stored.
    Sandbox sandbox;
    for (const std::string headers : {"Content-Length: 100\r\nContent-Length: 100\r\n", "Content-Length:  100 \r\n"}) {
        RawServer raw("HTTP/1.1 200 OK\r\n" + headers + "Connection: close\r\n\r\n" + kHundred);
        std::optional<net::SavedPage> page = net::DownloadPage(raw.Url("/p"), sandbox.Path(), 2s);
        ASSERT_TRUE(page.has_value()) << headers;
        EXPECT_EQ(ReadFile(page->Path().string()), kHundred);
    }
}

}  // namespace
}  // namespace gathrix::test
