#include "download/prefetch.h"

#include <algorithm>
#include <utility>

namespace gathrix {

Prefetcher::Prefetcher(net::Session& session, int jobs, std::filesystem::path folder, std::chrono::milliseconds timeout)
    : session_(session), jobs_(std::max(1, jobs)), folder_(std::move(folder)), timeout_(timeout) {}

Prefetcher::~Prefetcher() { CancelAll(); }

void Prefetcher::Plan(std::vector<PlannedPicture> pictures) {
    CancelAll();
    plan_ = std::move(pictures);
    next_ = 0;
    TopUp(0);
}

std::unique_ptr<net::Transfer> Prefetcher::Take(const std::string& address) {
    // Not the picture the plan expects next (a repair fetch from a search, or
    // no plan at all): the fetcher requests it itself, and the plan waits.
    if (next_ >= plan_.size() || plan_[next_].address != address || started_.empty()) return nullptr;
    ++next_;
    std::unique_ptr<net::Transfer> transfer = std::move(started_.front());
    started_.pop_front();
    // The picture taken counts as one of the transfers in flight.
    TopUp(1);
    return transfer;
}

void Prefetcher::TopUp(std::size_t in_flight_besides) {
    while (started_.size() + in_flight_besides < static_cast<std::size_t>(jobs_) &&
           next_ + started_.size() < plan_.size()) {
        auto transfer = std::make_unique<net::Transfer>(session_);
        transfer->SetRequestTimeout(timeout_);
        transfer->SetSpaced(true);
        transfer->SetHashBody(hash_bodies_);
        const PlannedPicture& picture = plan_[next_ + started_.size()];
        transfer->Execute(picture.address, folder_, picture.keep, picture.only_if_changed);
        started_.push_back(std::move(transfer));
    }
}

bool Prefetcher::Keeps(const net::KeptBodyFiles& files) const {
    for (std::size_t i = 0; i < started_.size(); ++i) {
        const std::optional<net::KeptBodyFiles>& keep = plan_[next_ + i].keep;
        if (keep && keep->body == files.body) return true;
    }
    return false;
}

std::int64_t Prefetcher::BytesAhead() const {
    std::int64_t bytes = 0;
    for (const auto& transfer : started_) bytes += transfer->BodySize();
    return bytes;
}

void Prefetcher::CancelAll() {
    for (auto& transfer : started_) transfer->Cancel();
    started_.clear();
}

}  // namespace gathrix
