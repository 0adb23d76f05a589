#include "cli/cli_front_end.h"

namespace gathrix {

void CliFrontEnd::WriteOut(std::string_view bytes) {
    if (bytes.empty()) return;
    std::fwrite(bytes.data(), 1, bytes.size(), out_);
    std::fflush(out_);
    at_line_start_ = bytes.back() == '\n';
}

void CliFrontEnd::EndLine() {
    if (!at_line_start_) WriteOut("\r\n");
}

// The log is written piece by piece, exactly as the window would show it; a
// replaced log is written as its new text, since what it replaced is already out.
void CliFrontEnd::ReplaceLog(std::string_view text) { WriteOut(text); }

void CliFrontEnd::AppendLog(std::string_view piece) { WriteOut(piece); }

// Results go to stdout on a line of their own, errors to stderr.
void CliFrontEnd::MessageBox(std::string_view text, std::string_view /*title*/, BoxIcon icon) {
    if (icon == BoxIcon::Critical) {
        EndLine();
        std::fwrite(text.data(), 1, text.size(), err_);
        std::fputc('\n', err_);
        std::fflush(err_);
        return;
    }
    EndLine();
    WriteOut(text);
    WriteOut("\r\n");
}

}  // namespace gathrix
