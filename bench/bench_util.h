#pragma once
// Support for the benchmarks: the fake server runs in a child process, so that
// memory and processor time measured in the benchmark process are the client's
// alone.

#include "events/run_events.h"
#include "support/fake_server.h"

#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace gathrix::bench {

// A FakeServer in a forked child, set up by the given function. Create it before
// the benchmark process starts any thread.
class ServerProcess {
public:
    explicit ServerProcess(const std::function<void(test::FakeServer&)>& setup) {
        int ready[2];
        int quit[2];
        if (pipe(ready) != 0 || pipe(quit) != 0) Die("pipe");
        pid_ = fork();
        if (pid_ < 0) Die("fork");
        if (pid_ == 0) {
            close(ready[0]);
            close(quit[1]);
            {
                test::FakeServer server;
                setup(server);
                int port = server.Port();
                if (write(ready[1], &port, sizeof port) != sizeof port) _exit(1);
                char c;
                while (read(quit[0], &c, 1) > 0) {
                }  // until the parent closes its end
            }
            _exit(0);
        }
        close(ready[1]);
        close(quit[0]);
        quit_ = quit[1];
        if (read(ready[0], &port_, sizeof port_) != sizeof port_) Die("server start");
        close(ready[0]);
    }

    ~ServerProcess() {
        close(quit_);
        int status = 0;
        waitpid(pid_, &status, 0);
    }

    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

private:
    static void Die(const char* what) {
        std::perror(what);
        std::exit(2);
    }

    pid_t pid_ = -1;
    int quit_ = -1;
    int port_ = 0;
};

// Processor time (user + system) used so far by this process, all threads.
inline double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Peak resident set size of this process in bytes.
inline long long PeakRssBytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<long long>(usage.ru_maxrss) * 1024;  // Linux reports KiB
}

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Reads a stored file back piece by piece and checks it against the pattern that
// FakeServer::ServeGenerated sends.
inline bool MatchesGenerated(const std::string& path, std::size_t size) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> buffer(1 << 20);
    std::size_t offset = 0;
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        for (std::size_t i = 0; i < got; ++i) {
            if (buffer[i] != test::FakeServer::GeneratedByte(offset + i)) return false;
        }
        offset += got;
    }
    return offset == size;
}

// Run events that keep only the pictures asked for and the last message.
class QuietEvents : public RunEvents {
public:
    void LogReplaced(std::string_view) override {}
    void LogAppended(std::string_view piece) override { pictures += piece.starts_with("Downloading ") ? 1 : 0; }
    void LogCleared() override {}
    void Message(std::string_view text, std::string_view, BoxIcon) override { box = std::string(text); }

    int pictures = 0;
    std::string box;
};

}  // namespace gathrix::bench
