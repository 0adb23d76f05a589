#pragma once
// The events of a run that holds an API key, passed on to the front end with
// the key hidden: every text a front end is told (log pieces, messages,
// addresses, failures) has "api_key=KEY" made "api_key=HIDDEN", and any other
// appearance of the key "HIDDEN", so that no output and no file of the front
// end's ever shows it. Every event is passed on: one added to RunEvents
// belongs here too.

#include <string>
#include <string_view>

#include "events/run_events.h"

namespace gathrix {

class KeyHidingEvents : public RunEvents {
public:
    KeyHidingEvents(RunEvents& events, std::string key) : events_(events), key_(std::move(key)) {}

    void RunStarted() override { events_.RunStarted(); }
    void LogReplaced(std::string_view text) override { events_.LogReplaced(Hidden(text)); }
    void LogAppended(std::string_view piece) override { events_.LogAppended(Hidden(piece)); }
    void LogCleared() override { events_.LogCleared(); }
    void PicturesStored(std::int64_t count) override { events_.PicturesStored(count); }
    void Message(std::string_view text, std::string_view title, BoxIcon icon) override {
        events_.Message(Hidden(text), title, icon);
    }
    void Progress(const TransferProgress& progress) override;
    std::optional<std::chrono::milliseconds> ProgressEvery() const override { return events_.ProgressEvery(); }
    void PageFailed(std::string_view address, const Failure& why) override {
        events_.PageFailed(Hidden(address), Hidden(why));
    }
    void FolderFailed(const Failure& why) override { events_.FolderFailed(Hidden(why)); }
    void Retrying(std::string_view address, const Failure& why, std::chrono::milliseconds delay, int attempt,
                  int attempts) override {
        events_.Retrying(Hidden(address), Hidden(why), delay, attempt, attempts);
    }
    void PictureMissing(std::string_view address, const Failure& why) override {
        events_.PictureMissing(Hidden(address), Hidden(why));
    }
    void NoPicturesListed(std::string_view album_address) override {
        events_.NoPicturesListed(Hidden(album_address));
    }
    void PicturesListed(std::int64_t count) override { events_.PicturesListed(count); }
    void AlbumTitled(std::string_view title) override { events_.AlbumTitled(Hidden(title)); }
    void PicturesResumed(std::int64_t count) override { events_.PicturesResumed(count); }
    void RecordSetAside(const std::filesystem::path& from, const std::filesystem::path& to,
                        std::string_view why) override {
        events_.RecordSetAside(from, to, Hidden(why));
    }
    void RecordNotKept(const std::filesystem::path& record, std::string_view why) override {
        events_.RecordNotKept(record, Hidden(why));
    }
    void PicturesKeptChanged(const std::vector<std::string>& names) override { events_.PicturesKeptChanged(names); }
    void RecordSummary(std::string_view album_address, const RecordCounts& counts) override {
        events_.RecordSummary(Hidden(album_address), counts);
    }
    void AlbumFinished(std::int64_t count, const std::filesystem::path& folder) override {
        events_.AlbumFinished(count, folder);
    }
    void RunEnded() override { events_.RunEnded(); }

    std::string Hidden(std::string_view text) const;
    Failure Hidden(const Failure& why) const;

private:
    RunEvents& events_;
    std::string key_;
};

}  // namespace gathrix
