#include "download/file_fetcher.h"

#include <algorithm>
#include <chrono>
#include <memory>

#include "download/log_format.h"
#include "download/prefetch.h"
#include "text/strings.h"
#include "text/utf8.h"

namespace gathrix {

namespace {
// Longest sleep on the transfer's sockets between two rounds of window events.
constexpr std::chrono::milliseconds kPumpInterval{20};

// Whether the character at name[pos] may not stand in a file name: a path
// separator, a control character (C1 controls as UTF-8 included) or a stray
// byte 0x80 to 0x9F, which some terminals take for a C1 control. Other bytes
// that are no UTF-8, such as a Latin-1 letter, are kept.
bool IsUnsafe(std::string_view name, std::size_t pos) {
    const auto byte = static_cast<unsigned char>(name[pos]);
    if (byte == '/' || byte == '\\' || byte < 0x20 || byte == 0x7f) return true;
    if (IsC1Control(name, pos)) return true;
    return byte >= 0x80 && byte <= 0x9f && Utf8CharacterLength(name, pos) == 0;
}
}  // namespace

// The longest file name the file systems we run on take, in bytes.
constexpr std::size_t kLongestName = 255;

// name cut to kLongestName bytes: the end of the stem goes, the extension (up to
// 16 bytes) stays, and no UTF-8 character is cut in two.
std::string Shortened(std::string name) {
    std::string extension;
    if (const std::size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0 && name.size() - dot <= 16) {
        extension = name.substr(dot);
        name.resize(dot);
    }
    return std::string(CutUtf8(name, kLongestName - extension.size())) + extension;
}

std::string SafeLocalName(std::string_view name) {
    if (name.empty() || name == ".") return "_";
    if (name == "..") return "__";
    std::string safe;
    safe.reserve(name.size());
    for (std::size_t pos = 0; pos < name.size();) {
        if (IsUnsafe(name, pos)) {
            safe += '_';
            pos += IsC1Control(name, pos) ? 2 : 1;  // one "_" for the character
        } else {
            const std::size_t length = std::max<std::size_t>(Utf8CharacterLength(name, pos), 1);
            safe.append(name.substr(pos, length));
            pos += length;
        }
    }
    return safe.size() > kLongestName ? Shortened(std::move(safe)) : safe;
}

bool FetchFile(RunState& run) {
    const std::string name = SafeLocalName(run.local_file_name);
    run.front_end.AppendLog("Downloading " + name + "...");

    // A picture started ahead of its turn is taken over as it stands; any other
    // is requested now. A request that cannot be started ends at once as
    // failed; the wait below then pumps the events once and goes on.
    std::unique_ptr<net::Transfer> ahead = run.prefetch ? run.prefetch->Take(run.picture_address) : nullptr;
    net::Transfer& transfer = ahead ? *ahead : run.inet;
    if (!ahead) transfer.Execute(run.picture_address, run.working_folder);
    do {
        run.front_end.PumpEvents();
        TransferProgress progress;
        progress.name = name;
        progress.received = transfer.BodySize();
        progress.total = transfer.AnnouncedSize();
        progress.in_flight = 1 + (run.prefetch ? run.prefetch->Ahead() : 0);
        progress.album_bytes = run.bytes_stored + progress.received + (run.prefetch ? run.prefetch->BytesAhead() : 0);
        progress.stored = run.file_counter;
        run.front_end.ShowProgress(progress);
    } while (transfer.Wait(kPumpInterval));

    // The caption counts the pictures before this one.
    run.front_end.SetLabel(ProgressCaption(run.file_counter));

    const bool complete = transfer.Result() == net::TransferResult::Complete && transfer.Status() < 400;
    const std::int64_t size = transfer.BodySize();
    const bool stored = complete && transfer.Commit(run.working_folder / name);
    run.last_failure = stored ? Failure() : complete ? Failure{FailureKind::WriteError} : transfer.WhyFailed();
    transfer.Cancel();

    if (stored) {
        ++run.file_counter;
        run.bytes_stored += size;
    }
    run.front_end.AppendLog(stored ? "OK\r\n" : "failed.\r\n");
    return stored;
}

bool ListsSomethingNew(const std::vector<FoundPicture>& pictures, std::unordered_set<std::string>& listed) {
    bool something_new = pictures.empty();
    for (const FoundPicture& picture : pictures) something_new = listed.insert(picture.address).second || something_new;
    return something_new;
}

void FetchPictures(RunState& run, const std::vector<FoundPicture>& pictures, Repair repair) {
    if (run.prefetch != nullptr) {
        std::vector<std::string> addresses;
        for (const FoundPicture& picture : pictures) addresses.push_back(picture.address);
        run.prefetch->Plan(addresses);
    }
    run.pictures_listed += static_cast<std::int64_t>(pictures.size());
    for (const FoundPicture& picture : pictures) {
        run.picture_address = picture.address;
        const std::string safe_name = SafeLocalName(LastField(run.picture_address, "/"));
        run.local_file_name = run.names ? run.names->NameFor(picture.address, safe_name) : safe_name;
        bool stored = FetchFile(run);
        run.picture_address.clear();
        if (repair != nullptr) stored = repair(run, picture.photo_link, stored);
        if (stored && run.names) run.names->Stored(picture.address, run.local_file_name);
        if (!stored) run.front_end.ReportFailure(WhatFailed::Picture, picture.address, run.last_failure);
    }
}

}  // namespace gathrix
