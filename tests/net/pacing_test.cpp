// The limits a session puts on its requests, timed against the local server:
// the stall limit to within a second, the cap on a request's whole time, and
// the rate limit shared by every transfer.

#include "net/cookies.h"
#include "net/page_download.h"
#include "net/session.h"
#include "net/transfer.h"
#include "net_test_util.h"
#include "support/fake_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <ostream>
#include <vector>

namespace gathrix::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using net::Transfer;
using net::TransferResult;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// A request that goes quiet fails after the stall limit, and one that drips
// after the cap on its time, give or take a second (a loaded machine may be
// late, never early); the failure says which limit, and how long it is.
struct LimitRow {
    const char* name;
    void (*serve)(FakeServer&);  // at /slow
    bool page;                   // fetched as a page, else as a picture
    std::chrono::seconds max_time;
    FailureKind kind;
};
void PrintTo(const LimitRow& row, std::ostream* os) { *os << row.name; }

void StopsAfterAFewBytes(FakeServer& s) { s.ServeTrickle("/slow", std::string(1000, 'x'), 4, 600s); }
// Two bytes every 100 ms: never quiet for the stall limit, never done.
void Drips(FakeServer& s) { s.ServeTrickle("/slow", std::string(100000, 'x'), 2, 100ms); }

// clang-format off
const LimitRow kLimitRows[] = {
    {"PictureStopsAfterAFewBytes", StopsAfterAFewBytes, false, 0s, FailureKind::Stalled},
    {"PictureNeverAnswered", [](FakeServer& s) { s.ServeHang("/slow"); }, false, 0s, FailureKind::Stalled},
    {"PageStopsAfterAFewBytes", StopsAfterAFewBytes, true, 0s, FailureKind::Stalled},
    {"PictureStopsBeforeItsCap", StopsAfterAFewBytes, false, 5s, FailureKind::Stalled},
    {"PictureDripsPastItsCap", Drips, false, 2s, FailureKind::TookTooLong},
    {"PageDripsPastItsCap", Drips, true, 2s, FailureKind::TookTooLong},
};
// clang-format on

class TimeLimits : public ::testing::TestWithParam<LimitRow> {};

TEST_P(TimeLimits, FailWithinASecondOfTheLimit) {
    const LimitRow& row = GetParam();
    FakeServer server;
    Sandbox sandbox;
    row.serve(server);
    constexpr auto kStall = 2s;
    net::Session session;
    session.SetMaxTime(row.max_time);
    const Clock::time_point start = Clock::now();
    Failure failure;
    if (row.page) {
        EXPECT_FALSE(net::DownloadPage(server.Url("/slow"), sandbox.Path(), kStall, &session, &failure));
    } else {
        Transfer transfer(session);
        transfer.SetRequestTimeout(kStall);
        ASSERT_TRUE(transfer.Execute(server.Url("/slow"), sandbox.Path()));
        EXPECT_EQ(RunToEnd(transfer), TransferResult::Failed);
        failure = transfer.WhyFailed();
    }
    const double seconds = SecondsSince(start);
    EXPECT_EQ(failure.kind, row.kind);
    EXPECT_EQ(failure.stall, 2s);
    EXPECT_GE(seconds, 1.95);
    EXPECT_LE(seconds, 3.0);
    EXPECT_TRUE(ListDir(sandbox.Path()).empty());
}

INSTANTIATE_TEST_SUITE_P(Rows, TimeLimits, ::testing::ValuesIn(kLimitRows),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(TimeLimits, StallLimitWithAFraction) {
    FakeServer server;
    Sandbox sandbox;
    StopsAfterAFewBytes(server);
    Transfer transfer;
    transfer.SetRequestTimeout(1500ms);
    const Clock::time_point start = Clock::now();
    ASSERT_TRUE(transfer.Execute(server.Url("/slow"), sandbox.Path()));
    EXPECT_EQ(RunToEnd(transfer), TransferResult::Failed);
    EXPECT_EQ(transfer.WhyFailed().stall, 1500ms);
    EXPECT_GE(SecondsSince(start), 1.45);
    EXPECT_LE(SecondsSince(start), 2.5);
}

// With a cap far above every limit, the wait loop wakes for the stall limit on
// time and for the rate limit's refill, and not in between.
TEST(TimeLimits, LongWaitsWakeWhenALimitIsDue) {
    constexpr auto kCap = 5s;
    FakeServer server;
    Sandbox sandbox;
    StopsAfterAFewBytes(server);
    server.ServeGenerated("/big.jpg", 64 * 1024);
    net::Session session;
    session.SetRateLimit(128 * 1024);
    Transfer quiet(session);
    quiet.SetRequestTimeout(1500ms);
    Clock::time_point start = Clock::now();
    ASSERT_TRUE(quiet.Execute(server.Url("/slow"), sandbox.Path()));
    int wakeups = 0;
    while (quiet.Wait(kCap)) ++wakeups;
    EXPECT_EQ(quiet.WhyFailed().kind, FailureKind::Stalled);
    EXPECT_GE(SecondsSince(start), 1.45);
    EXPECT_LE(SecondsSince(start), 1.6);
    EXPECT_LE(wakeups, 5);

    // Paused for the rate limit about ten times on the way.
    Transfer paced(session);
    start = Clock::now();
    ASSERT_TRUE(paced.Execute(server.Url("/big.jpg"), sandbox.Path()));
    while (paced.Wait(kCap)) {
    }
    EXPECT_EQ(paced.Result(), TransferResult::Complete);
    EXPECT_EQ(paced.BodySize(), 64 * 1024);
    EXPECT_LE(SecondsSince(start), 1.0);
}

// The cookies of a run are bounded as a browser's: a domain past 180 keeps
// its newest 120, others keep theirs.
TEST(CookieBounds, ADomainPastItsBoundKeepsItsNewest) {
    std::string text = "# Netscape HTTP Cookie File\n\n";
    for (int i = 0; i < 200; ++i) text += "flood.example\tFALSE\t/\tFALSE\t0\tc" + std::to_string(i) + "\tv\n";
    for (int i = 0; i < 10; ++i) text += ".calm.example\tTRUE\t/\tFALSE\t0\tk" + std::to_string(i) + "\tv\n";
    std::size_t cookie_lines = 0;
    std::unique_ptr<net::Cookies> cookies = net::Cookies::FromText(text, cookie_lines);
    ASSERT_TRUE(cookies);
    EXPECT_EQ(cookie_lines, 210u);
    EXPECT_EQ(cookies->Count(), 130u);
    std::unique_ptr<net::Cookies> none = net::Cookies::FromText("sid=abc\n# a comment\n", cookie_lines);
    ASSERT_TRUE(none);
    EXPECT_EQ(cookie_lines, 0u);
    EXPECT_EQ(none->Count(), 0u);
}

// All transfers of a session together keep to the rate, also when each is
// short.
struct RateRow {
    const char* name;
    int at_once;  // transfers running side by side
    int rounds;   // one after another
    std::size_t size;
    std::int64_t rate;
};
void PrintTo(const RateRow& row, std::ostream* os) { *os << row.name; }

// clang-format off
const RateRow kRateRows[] = {
    {"TwoLargePicturesAtOnce", 2, 1, 384 * 1024, 384 * 1024},
    {"ShortPicturesOneAfterAnother", 1, 8, 64 * 1024, 256 * 1024},
    {"ShortPicturesFourAtOnce", 4, 2, 32 * 1024, 128 * 1024},
};
// clang-format on

class RateLimit : public ::testing::TestWithParam<RateRow> {};

TEST_P(RateLimit, StaysWithinAFifthOfTheRate) {
    const RateRow& row = GetParam();
    FakeServer server;
    Sandbox sandbox;
    server.ServeGenerated("/big.jpg", row.size);
    net::Session session;
    session.SetRateLimit(row.rate);
    std::vector<std::unique_ptr<Transfer>> transfers;
    for (int i = 0; i < row.at_once; ++i) transfers.push_back(std::make_unique<Transfer>(session));
    std::int64_t bytes = 0;
    const Clock::time_point start = Clock::now();
    for (int round = 0; round < row.rounds; ++round) {
        for (auto& transfer : transfers) ASSERT_TRUE(transfer->Execute(server.Url("/big.jpg"), sandbox.Path()));
        for (auto& transfer : transfers) {
            ASSERT_EQ(RunToEnd(*transfer), TransferResult::Complete);
            bytes += transfer->BodySize();
        }
    }
    const double rate = static_cast<double>(bytes) / SecondsSince(start);
    EXPECT_EQ(bytes, static_cast<std::int64_t>(row.size) * row.at_once * row.rounds);
    EXPECT_GE(rate, 0.8 * static_cast<double>(row.rate));
    EXPECT_LE(rate, 1.2 * static_cast<double>(row.rate));
    // Paused and resumed, the body still arrives byte for byte.
    ASSERT_TRUE(transfers.front()->Commit(sandbox.Path() + "/pic.jpg"));
    const std::string body = ReadFile(sandbox.Path() + "/pic.jpg");
    ASSERT_EQ(body.size(), row.size);
    for (std::size_t i = 0; i < body.size(); ++i) ASSERT_EQ(body[i], FakeServer::GeneratedByte(i)) << i;
}

INSTANTIATE_TEST_SUITE_P(Rows, RateLimit, ::testing::ValuesIn(kRateRows),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace gathrix::test
