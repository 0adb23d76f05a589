#pragma once
// The front end of gathrix-cli: the progress log goes to stdout as it is
// written, message boxes become lines on stdout (results) or stderr (errors).

#include <csignal>
#include <cstdio>
#include <string>
#include <utility>

#include "download/frontend.h"

namespace gathrix {

class CliFrontEnd : public FrontEnd {
public:
    CliFrontEnd(std::string address, std::FILE* out, std::FILE* err)
        : address_(std::move(address)), out_(out), err_(err) {}

    std::string AddressText() override { return address_; }
    void ReplaceLog(std::string_view text) override;
    void AppendLog(std::string_view piece) override;
    void ClearLog() override {}
    void SetLabel(std::string_view /*caption*/) override {}
    void FocusAddress() override {}
    void DisableButtons() override {}
    void MessageBox(std::string_view text, std::string_view title, BoxIcon icon) override;
    void PumpEvents() override {}
    void OpenFolder(const std::filesystem::path& /*folder*/) override {}
    void EndProgram() override { ended_ = true; }

    bool Ended() const { return ended_; }
    // Whether the last line on stdout is still open. Safe to ask from a signal
    // handler.
    bool LineOpen() const { return at_line_start_ == 0; }
    // Ends the last line on stdout when it is still open (a log whose last
    // piece had no line end), so that nothing else gets appended to it.
    void EndLine();

private:
    void WriteOut(std::string_view bytes);

    std::string address_;
    std::FILE* out_;
    std::FILE* err_;
    // Whether the last byte written to out_ ended a line; read by signal handlers.
    volatile std::sig_atomic_t at_line_start_ = 1;
    bool ended_ = false;
};

}  // namespace gathrix
