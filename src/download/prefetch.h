#pragma once
// Several picture transfers at once. A reader that knows the pictures of the
// page it is reading hands their addresses over in album order (Plan); the
// prefetcher then keeps up to `jobs` of them in flight on the run's session,
// ahead of their turn. Each picture is still taken at its turn by the file
// fetcher (Take), so the log, the files and the repair searches come in album
// order exactly as with one transfer; and since only planned addresses are
// requested, each once per plan entry, the requests are the same as well.

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "net/transfer.h"

namespace gathrix {

// A picture the reader will fetch, where its body is kept when cut-off
// pictures are to be continued (see net/kept_body.h), and the validators of
// the stored file when it is asked for only if it changed.
struct PlannedPicture {
    std::string address;
    std::optional<net::KeptBodyFiles> keep;
    std::optional<net::Validators> only_if_changed = std::nullopt;
};

class Prefetcher {
public:
    Prefetcher(net::Session& session, int jobs, std::filesystem::path folder, std::chrono::milliseconds timeout);
    ~Prefetcher();
    Prefetcher(const Prefetcher&) = delete;
    Prefetcher& operator=(const Prefetcher&) = delete;

    int Jobs() const { return jobs_; }

    // The transfers started from now on compute the SHA-256 of their bodies.
    void SetHashBodies(bool on) { hash_bodies_ = on; }

    // The pictures the reader will fetch next, in order, replacing whatever
    // was planned before (a plan entry never taken is cancelled).
    void Plan(std::vector<PlannedPicture> pictures);

    // Whether a transfer started ahead keeps its body in files.
    bool Keeps(const net::KeptBodyFiles& files) const;

    // At a picture's turn: the transfer that was started ahead for address,
    // when the next plan entry is that address (it may still be running); the
    // next pictures of the plan are then started, up to `jobs` in flight.
    // nullptr for any other address (the fetcher requests it itself).
    std::unique_ptr<net::Transfer> Take(const std::string& address);

    // Transfers started ahead and not taken yet, and their bytes so far.
    int Ahead() const { return static_cast<int>(started_.size()); }
    std::int64_t BytesAhead() const;

    // Ends every transfer in flight; their partial bodies are removed.
    void CancelAll();

private:
    void TopUp(std::size_t in_flight_besides);

    net::Session& session_;
    int jobs_;
    std::filesystem::path folder_;
    std::chrono::milliseconds timeout_;
    bool hash_bodies_ = false;
    std::vector<PlannedPicture> plan_;
    std::size_t next_ = 0;  // the plan entry whose turn comes next
    // Transfers started for plan entries next_, next_ + 1, ... in order.
    std::deque<std::unique_ptr<net::Transfer>> started_;
};

}  // namespace gathrix
