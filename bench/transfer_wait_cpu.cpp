// Measures the processor time that the wait loop costs while a transfer trickles
// in (100 bytes every 100 ms): the caller waits with Wait(kNoWaitLimit) in a
// loop, as the file fetcher does when no progress display is shown, for
// several seconds. It must stay under 0.3% of one core, with at most 12
// wake-ups a second (the trickle itself brings 10).
//
//   bench_transfer_wait_cpu [seconds]     (default 5)

#include "bench_util.h"
#include "net/page_download.h"
#include "net/session.h"
#include "net/transfer.h"

using namespace gathrix;

int main(int argc, char** argv) {
    const int seconds_wanted = argc > 1 ? std::atoi(argv[1]) : 5;
    constexpr std::size_t kChunk = 100;
    constexpr auto kInterval = std::chrono::milliseconds(100);
    const std::size_t chunks = static_cast<std::size_t>(seconds_wanted) * 10;
    const std::string body(kChunk * chunks, 'p');
    constexpr double kLimit = 0.003;
    constexpr double kMostWakeups = 12;  // a second

    bench::ServerProcess server([&body](test::FakeServer& s) { s.ServeTrickle("/slow.jpg", body, kChunk, kInterval); });
    test::Sandbox sandbox;

    net::Transfer transfer;
    long wakeups = 0;
    const auto start = std::chrono::steady_clock::now();
    const double cpu_start = bench::ProcessCpuSeconds();
    if (!transfer.Execute(server.Url("/slow.jpg"), sandbox.Path())) {
        std::fprintf(stderr, "cannot start the transfer\n");
        return 2;
    }
    while (transfer.Wait(net::kNoWaitLimit)) ++wakeups;
    const double cpu = bench::ProcessCpuSeconds() - cpu_start;
    const double wall = bench::SecondsSince(start);
    const bool complete = transfer.Result() == net::TransferResult::Complete &&
                          transfer.BodySize() == static_cast<std::int64_t>(body.size());

    const double share = cpu / wall;
    std::printf("trickle:         %zu bytes, %zu every %lld ms\n", body.size(), kChunk,
                static_cast<long long>(kInterval.count()));
    std::printf("result:          %s\n", complete ? "complete" : "NOT complete");
    const double per_second = static_cast<double>(wakeups) / wall;
    std::printf("wall time:       %.2f s, %ld wake-ups (%.1f per second, limit %.0f)\n", wall, wakeups, per_second,
                kMostWakeups);
    std::printf("client CPU:      %.4f s = %.2f%% of a core, limit %.1f%%\n", cpu, share * 100, kLimit * 100);
    const bool pass = complete && share <= kLimit && per_second <= kMostWakeups;
    std::printf("%s\n", pass ? "PASS" : "FAIL");
    return pass ? 0 : 1;
}
