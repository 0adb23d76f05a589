#pragma once
// The front end of gathrix-cli: the progress log goes to stdout as it is
// written, message boxes become lines on stdout (results) or stderr (errors),
// failures are reported on stderr as they happen, and on a terminal a one-line
// progress display is kept up to date on stderr. Names and addresses shown on
// stderr have their control characters and stray bytes escaped (see
// EscapeForTerminal), so that no server can steer the terminal; stdout gets the
// log exactly as the window would show it.

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "events/run_events.h"

namespace gathrix {

class CliFrontEnd : public RunEvents {
public:
    CliFrontEnd(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

    // Draws the progress display on err (a terminal) from now on. When out is
    // the same terminal, the display shares the line that the log has open
    // ("Downloading NAME..."): it is drawn after that text, and the text is put
    // back when the display goes, so that the log reads on the screen as it does
    // in a file.
    void EnableProgress(bool on, bool shares_terminal_with_log = false) {
        progress_ = on;
        shares_terminal_ = on && shares_terminal_with_log;
    }

    // Writes nothing to out from now on: no log, no results (-q).
    void Quiet() { quiet_ = true; }

    // One album of several: an error message on stderr names its address
    // ("gathrix-cli: ADDRESS: Invalid URL !"), so that the user knows which.
    void NameAlbum(std::string address) { album_address_ = std::move(address); }

    void LogReplaced(std::string_view text) override;
    void LogAppended(std::string_view piece) override;
    void LogCleared() override {}
    void Message(std::string_view text, std::string_view title, BoxIcon icon) override;
    void Progress(const TransferProgress& progress) override;
    std::optional<std::chrono::milliseconds> ProgressEvery() const override;
    void PageFailed(std::string_view address, const Failure& why) override;
    void FolderFailed(const Failure& why) override;
    void PictureMissing(std::string_view address, const Failure& why) override;
    void NoPicturesListed(std::string_view album_address) override;
    void PicturesResumed(std::int64_t count) override;
    void Retrying(std::string_view address, const Failure& why, std::chrono::milliseconds delay, int attempt,
                  int attempts) override;
    void RecordSetAside(const std::filesystem::path& from, const std::filesystem::path& to,
                        std::string_view why) override;
    void RecordNotKept(const std::filesystem::path& record, std::string_view why) override;
    void PicturesKeptChanged(const std::vector<std::string>& names) override;
    void RecordSummary(std::string_view album_address, const RecordCounts& counts) override;
    void RunEnded() override { ended_ = true; }

    bool Ended() const { return ended_; }
    // Ends the last line on stdout when it is still open (a log whose last
    // piece had no line end), so that nothing else gets appended to it.
    void EndLine();
    // Whether the last line on stdout is still open. Safe to ask from a signal
    // handler.
    bool LineOpen() const { return at_line_start_ == 0; }
    // Takes the progress display off the screen.
    void ClearProgress();

    int PageFailures() const { return page_failures_; }
    // Pages that could not be saved in the album folder, and a folder that
    // another run holds.
    int FolderFailures() const { return folder_failures_; }
    int MissingPictures() const { return missing_pictures_; }

private:
    void WriteOut(std::string_view bytes);
    void WriteErr(std::string_view line);

    std::FILE* out_;
    std::FILE* err_;
    // Whether the last byte written to out_ ended a line; read by signal handlers.
    volatile std::sig_atomic_t at_line_start_ = 1;
    bool ended_ = false;
    bool quiet_ = false;
    int page_failures_ = 0;
    int folder_failures_ = 0;
    std::string album_address_;
    int missing_pictures_ = 0;

    bool progress_ = false;
    bool drawn_ = false;  // the display is on the screen
    bool shares_terminal_ = false;
    std::string open_line_;  // what the log has written since its last line end
    std::chrono::steady_clock::time_point last_draw_{};
    std::chrono::steady_clock::time_point rate_since_{};
    std::int64_t rate_bytes_ = -1;
    double rate_ = 0;  // bytes per second, smoothed
};

// The progress line for a terminal of the given width: the picture's name,
// bytes of total, rate and a bar; with several transfers, the album's totals.
// The name is escaped for the terminal.
std::string ProgressLine(const TransferProgress& progress, double bytes_per_second, std::size_t width);

}  // namespace gathrix
