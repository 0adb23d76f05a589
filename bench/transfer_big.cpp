// Downloads a 1 GiB body through Transfer and reports the peak memory of the
// downloading process and the throughput. The body must stream to disk: the
// peak resident size has to stay under 64 MB.
//
//   bench_transfer_big [size_in_MiB]     (default 1024)

#include "bench_util.h"
#include "net/page_download.h"
#include "net/session.h"
#include "net/transfer.h"

#include <cstdint>
#include <fstream>
#include <vector>

using namespace gathrix;

int main(int argc, char** argv) {
    const std::size_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
    const std::size_t size = mib << 20;
    constexpr long long kLimitBytes = 64LL * 1000 * 1000;

    bench::ServerProcess server([size](test::FakeServer& s) { s.ServeGenerated("/big.bin", size); });
    test::Sandbox sandbox;
    const std::string target = sandbox.Path() + "/big.bin";

    const long long rss_before = bench::PeakRssBytes();
    net::Transfer transfer;
    const auto start = std::chrono::steady_clock::now();
    const double cpu_start = bench::ProcessCpuSeconds();
    if (!transfer.Execute(server.Url("/big.bin"), sandbox.Path())) {
        std::fprintf(stderr, "cannot start the transfer\n");
        return 2;
    }
    while (transfer.Wait(std::chrono::milliseconds(20))) {
    }
    const double seconds = bench::SecondsSince(start);
    const double cpu = bench::ProcessCpuSeconds() - cpu_start;
    const bool complete = transfer.Result() == net::TransferResult::Complete;
    const bool committed = complete && transfer.Commit(target);
    const long long peak = bench::PeakRssBytes();
    const bool intact = committed && bench::MatchesGenerated(target, size);

    std::printf("body:            %zu bytes (%zu MiB)\n", size, mib);
    std::printf("result:          %s, stored file %s\n", complete ? "complete" : "NOT complete",
                intact ? "matches" : "DOES NOT MATCH");
    std::printf("time:            %.2f s, %.1f MB/s\n", seconds, static_cast<double>(size) / 1e6 / seconds);
    std::printf("client CPU:      %.2f s\n", cpu);
    std::printf("peak RSS:        %.1f MB (%.1f MB before the transfer), limit %.0f MB\n",
                static_cast<double>(peak) / 1e6, static_cast<double>(rss_before) / 1e6,
                static_cast<double>(kLimitBytes) / 1e6);
    const bool pass = intact && peak < kLimitBytes;
    std::printf("%s\n", pass ? "PASS" : "FAIL");
    return pass ? 0 : 1;
}
