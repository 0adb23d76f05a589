#include "download/file_fetcher.h"

#include <chrono>

#include "download/log_format.h"

namespace gathrix {

namespace {
// Longest sleep on the transfer's sockets between two rounds of window events.
constexpr std::chrono::milliseconds kPumpInterval{20};

bool IsUnsafe(char ch) {
    const auto byte = static_cast<unsigned char>(ch);
    return ch == '/' || ch == '\\' || byte < 0x20 || byte == 0x7f;
}
}  // namespace

std::string SafeLocalName(std::string_view name) {
    if (name.empty() || name == ".") return "_";
    if (name == "..") return "__";
    std::string safe(name);
    for (char& ch : safe) {
        if (IsUnsafe(ch)) ch = '_';
    }
    return safe;
}

bool FetchFile(RunState& run) {
    const std::string name = SafeLocalName(run.local_file_name);
    run.front_end.AppendLog("Downloading " + name + "...");

    // A request that cannot be started ends at once as failed; the wait below
    // then pumps the events once and goes on.
    run.inet.Execute(run.picture_address, run.working_folder);
    do {
        run.front_end.PumpEvents();
    } while (run.inet.Wait(kPumpInterval));

    // The caption counts the pictures before this one.
    run.front_end.SetLabel(ProgressCaption(run.file_counter));

    const bool stored = run.inet.Result() == net::TransferResult::Complete && run.inet.Status() < 400 &&
                        run.inet.Commit(run.working_folder / name);
    run.inet.Cancel();

    if (stored) ++run.file_counter;
    run.front_end.AppendLog(stored ? "OK\r\n" : "failed.\r\n");
    return stored;
}

}  // namespace gathrix
