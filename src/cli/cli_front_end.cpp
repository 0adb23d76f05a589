#include "cli/cli_front_end.h"

#include <sys/ioctl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cli/failure_text.h"
#include "text/utf8.h"

namespace gathrix {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);  // ten times a second at most

std::string Bytes(double bytes) {
    const char* units[] = {"B", "KB", "MB", "GB", "TB"};
    int unit = 0;
    while (bytes >= 1000 && unit < 4) {
        bytes /= 1000;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
    return text;
}

}  // namespace

std::string ProgressLine(const TransferProgress& progress, double bytes_per_second, std::size_t width) {
    std::string line;
    if (progress.in_flight > 1) {
        line = std::to_string(progress.stored) + " files stored, " + std::to_string(progress.in_flight) +
               " in flight, " + Bytes(static_cast<double>(progress.album_bytes)) + ", " + Bytes(bytes_per_second) +
               "/s";
    } else {
        line = EscapeForTerminal(progress.name) + "  " + Bytes(static_cast<double>(progress.received));
        if (progress.total) line += " of " + Bytes(static_cast<double>(*progress.total));
        line += "  " + Bytes(bytes_per_second) + "/s";
        if (progress.total && *progress.total > 0) {
            constexpr std::size_t kBar = 20;
            const double share =
                std::clamp(static_cast<double>(progress.received) / static_cast<double>(*progress.total), 0.0, 1.0);
            const auto filled = static_cast<std::size_t>(std::lround(share * kBar));
            line += "  [" + std::string(filled, '#') + std::string(kBar - filled, ' ') + "]";
        }
    }
    // Never wider than the terminal, so that the line can be redrawn in place.
    if (width > 1 && line.size() >= width) line = std::string(CutUtf8(line, width - 1));
    return line;
}

void CliFrontEnd::ClearProgress() {
    if (!drawn_) return;
    std::fputs("\r\033[K", err_);
    if (shares_terminal_) std::fputs(EscapeForTerminal(open_line_).c_str(), err_);
    std::fflush(err_);
    drawn_ = false;
}

void CliFrontEnd::WriteOut(std::string_view bytes) {
    if (bytes.empty() || quiet_) return;
    ClearProgress();
    std::fwrite(bytes.data(), 1, bytes.size(), out_);
    std::fflush(out_);
    at_line_start_ = bytes.back() == '\n';
    if (shares_terminal_) {
        const std::size_t line_end = bytes.rfind('\n');
        if (line_end == std::string_view::npos) {
            open_line_.append(bytes);
        } else {
            open_line_.assign(bytes.substr(line_end + 1));
        }
    }
}

// The line's own text is plain; what it quotes from servers and users is
// escaped with it.
void CliFrontEnd::WriteErr(std::string_view line) {
    ClearProgress();
    std::fputs(EscapeForTerminal(line).c_str(), err_);
    std::fputc('\n', err_);
    std::fflush(err_);
}

void CliFrontEnd::EndLine() {
    if (!at_line_start_) WriteOut("\r\n");
}

// The log is written piece by piece, exactly as the window would show it; a
// replaced log is written as its new text, since what it replaced is already out.
void CliFrontEnd::LogReplaced(std::string_view text) { WriteOut(text); }

void CliFrontEnd::LogAppended(std::string_view piece) { WriteOut(piece); }

// Results go to stdout on a line of their own, errors to stderr.
void CliFrontEnd::Message(std::string_view text, std::string_view /*title*/, BoxIcon icon) {
    EndLine();
    if (icon == BoxIcon::Critical) {
        WriteErr(album_address_.empty() ? std::string(text)
                                        : "gathrix-cli: " + album_address_ + ": " + std::string(text));
        return;
    }
    WriteOut(text);
    WriteOut("\r\n");
}

void CliFrontEnd::PageFailed(std::string_view address, const Failure& why) {
    ++page_failures_;
    // An API's refusal names the album as given, after the service's words.
    if (why.kind == FailureKind::ServiceFailed || why.kind == FailureKind::NotServiceAnswer) {
        WriteErr("gathrix-cli: " + FailureText(why) + ": " + std::string(address));
        return;
    }
    WriteErr("gathrix-cli: album page " + std::string(address) + ": " + FailureText(why));
}

// A folder that could not be made follows the message that says so; a page
// that could not be saved is the folder's failure, not the page's.
void CliFrontEnd::FolderFailed(const Failure& why) {
    if (why.kind == FailureKind::FolderNotWritable || why.kind == FailureKind::FolderInUse) ++folder_failures_;
    WriteErr("gathrix-cli: " + FailureText(why));
}

void CliFrontEnd::Retrying(std::string_view address, const Failure& why, std::chrono::milliseconds delay, int attempt,
                           int attempts) {
    // Whole seconds as they are; a shorter pause (a test's) with a tenth.
    char after[32];
    if (delay.count() % 1000 == 0) {
        std::snprintf(after, sizeof after, "%lld s", static_cast<long long>(delay.count() / 1000));
    } else {
        std::snprintf(after, sizeof after, "%.1f s", static_cast<double>(delay.count()) / 1000);
    }
    WriteErr("gathrix-cli: retrying " + std::string(address) + " in " + after + ": " + FailureText(why) + " (attempt " +
             std::to_string(attempt) + " of " + std::to_string(attempts) + ")");
}

void CliFrontEnd::PictureMissing(std::string_view address, const Failure& why) {
    ++missing_pictures_;
    WriteErr("gathrix-cli: picture " + std::string(address) + ": " + FailureText(why));
}

void CliFrontEnd::Progress(const TransferProgress& progress) {
    if (!progress_) return;
    const auto now = std::chrono::steady_clock::now();
    if (rate_bytes_ < 0 || progress.album_bytes < rate_bytes_) {
        rate_since_ = now;
        rate_bytes_ = progress.album_bytes;
    }
    if (drawn_ && now - last_draw_ < kRedrawInterval) return;
    const double seconds = std::chrono::duration<double>(now - rate_since_).count();
    if (seconds >= 0.5) {
        const double recent = static_cast<double>(progress.album_bytes - rate_bytes_) / seconds;
        rate_ = rate_ == 0 ? recent : 0.7 * rate_ + 0.3 * recent;
        rate_since_ = now;
        rate_bytes_ = progress.album_bytes;
    }
    std::size_t width = 80;
    winsize size{};
    if (ioctl(fileno(err_), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) width = size.ws_col;
    // On a terminal shared with the log, after the log's open line, which
    // already names the picture; with no room left on the screen's line for a
    // useful display, none at all.
    std::string text = "\r";
    std::string line;
    if (shares_terminal_) {
        constexpr std::size_t kNarrowest = 20;
        const std::string open_line = EscapeForTerminal(open_line_);
        if (open_line.size() + kNarrowest >= width) return;
        TransferProgress unnamed = progress;
        unnamed.name.clear();  // the line then starts with its gap
        text += open_line;
        if (progress.in_flight > 1) text += "  ";
        line = ProgressLine(unnamed, rate_, width - (text.size() - 1));
    } else {
        line = ProgressLine(progress, rate_, width);
    }
    text += line + "\033[K";
    std::fputs(text.c_str(), err_);
    std::fflush(err_);
    drawn_ = true;
    last_draw_ = now;
}

// Redrawn as often as the display allows while it is shown; without it, a
// slow picture wakes nothing.
std::optional<std::chrono::milliseconds> CliFrontEnd::ProgressEvery() const {
    if (!progress_) return std::nullopt;
    return kRedrawInterval;
}

// Said only when no page failed: a failed page has its own line already. The
// log and the exit status stay those of an empty album.
void CliFrontEnd::NoPicturesListed(std::string_view album_address) {
    if (page_failures_ == 0 && folder_failures_ == 0)
        WriteErr("gathrix-cli: no pictures found on the album's pages: " + std::string(album_address));
}

void CliFrontEnd::RecordSetAside(const std::filesystem::path& from, const std::filesystem::path& to,
                                 std::string_view why) {
    WriteErr("gathrix-cli: the record '" + from.string() + "' could not be read (" + std::string(why) +
             "); it was set aside as '" + to.filename().string() + "' and a new one started");
}

void CliFrontEnd::RecordNotKept(const std::filesystem::path& record, std::string_view why) {
    WriteErr("gathrix-cli: the record '" + record.string() + "' could not be kept (" + std::string(why) +
             "); going on without it");
}

void CliFrontEnd::PicturesKeptChanged(const std::vector<std::string>& names) {
    std::string line = "gathrix-cli: " + std::to_string(names.size()) +
                       (names.size() == 1 ? " picture differs from what was downloaded and was kept: "
                                          : " pictures differ from what was downloaded and were kept: ");
    for (std::size_t i = 0; i < names.size(); ++i) line += (i > 0 ? ", " : "") + names[i];
    WriteErr(line);
}

// "ALBUM: 3 new, 7 already here", the parts that are zero left out.
void CliFrontEnd::RecordSummary(std::string_view album_address, const RecordCounts& counts) {
    std::string parts;
    const auto add = [&parts](std::int64_t count, const char* what) {
        if (count > 0) parts += (parts.empty() ? "" : ", ") + std::to_string(count) + " " + what;
    };
    add(counts.fresh, "new");
    add(counts.already_here, "already here");
    add(counts.updated, "updated");
    add(counts.missing, "missing");
    if (parts.empty()) parts = "0 new";
    WriteErr("gathrix-cli: " + std::string(album_address) + ": " + parts);
}

void CliFrontEnd::PicturesResumed(std::int64_t count) {
    if (count > 0) {
        WriteErr("gathrix-cli: " + std::to_string(count) + (count == 1 ? " picture" : " pictures") +
                 " continued where an earlier run was cut off");
    }
}

}  // namespace gathrix
