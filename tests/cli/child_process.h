#pragma once
// Runs a program as a child process with its own working directory and extra
// environment variables, and collects its stdout, stderr and exit status.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace gathrix::test {

struct ProcessResult {
    int exit_code = -1;  // -1 when the child did not exit normally
    std::string out;
    std::string err;
};

class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& args, const std::string& cwd,
                 const std::vector<std::pair<std::string, std::string>>& env = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Reads the child's output until stdout holds text or timeout has passed.
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout);
    // What the child wrote to stdout up to now, as far as it has been read.
    const std::string& OutputSoFar() const { return result_.out; }
    // Sends the child a signal.
    void Signal(int signal_number);
    // Whether the child is still running.
    bool Running();
    // Reads everything until the child closes its output, then waits for it.
    ProcessResult Finish();

private:
    // Reads what is available within timeout; false once both pipes are closed.
    bool ReadSome(std::chrono::milliseconds timeout);

    pid_t pid_ = -1;
    int out_fd_ = -1;
    int err_fd_ = -1;
    bool reaped_ = false;
    int status_ = 0;
    ProcessResult result_;
};

// Runs the program to its end.
ProcessResult RunProcess(const std::vector<std::string>& args, const std::string& cwd,
                         const std::vector<std::pair<std::string, std::string>>& env = {});

}  // namespace gathrix::test
