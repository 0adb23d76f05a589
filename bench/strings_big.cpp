// The string helpers on one address of 1 MB made almost entirely of "/": each
// helper must stay linear in its input, so every call finishes in milliseconds.
//
//   build/bench_strings_big [MEGABYTES]     (default 1)
//
// Prints the time of each helper and exits with status 1 when one of them takes
// 50 ms or more.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "text/strings.h"

namespace {

double Milliseconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const long megabytes = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1;
    const std::size_t size = static_cast<std::size_t>(megabytes > 0 ? megabytes : 1) << 20;
    // Single slashes between one-letter fields, then a run of slashes: both the
    // field walk and the "two empty fields" look-ahead get exercised.
    std::string address = "http://h/";
    while (address.size() < size / 2) address += "a/";
    address.append(size - address.size() - 6, '/');
    address += "x.jpg/";

    std::size_t sink = 0;
    struct Row {
        const char* name;
        std::function<void()> work;
    };
    const Row rows[] = {
        {"LastField", [&] { sink += gathrix::LastField(address, "/").size(); }},
        {"Field (last field)", [&] { sink += gathrix::Field(address, 1 << 30, "/").size(); }},
        {"ReplaceAll", [&] { sink += gathrix::ReplaceAll(address, "//", "/_").size(); }},
        {"Find (absent, any case)", [&] { sink += gathrix::Find(address, "//////////z", true); }},
        {"Find (absent)", [&] { sink += gathrix::Find(address, "/a/a/a/b"); }},
    };

    bool ok = true;
    std::printf("address of %zu bytes\n", address.size());
    for (const Row& row : rows) {
        const double ms = Milliseconds(row.work);
        const bool fast = ms < 50.0;
        ok = ok && fast;
        std::printf("%-26s %8.2f ms %s\n", row.name, ms, fast ? "" : "(50 ms or more)");
    }
    std::printf("(checksum %zu)\n", sink);
    return ok ? 0 : 1;
}
