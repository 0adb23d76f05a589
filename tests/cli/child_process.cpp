#include "cli/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace gathrix::test {

ChildProcess::ChildProcess(const std::vector<std::string>& args, const std::string& cwd,
                           const std::vector<std::pair<std::string, std::string>>& env) {
    // Everything the child needs is prepared before fork: a child of a threaded
    // process may only make async-signal-safe calls until it executes.
    // The configuration of whoever runs the tests stays out of them: a test
    // that wants one gives its own XDG_CONFIG_HOME.
    std::vector<std::pair<std::string, std::string>> settings = {{"XDG_CONFIG_HOME", "/nonexistent/gathrix-tests"}};
    settings.insert(settings.end(), env.begin(), env.end());
    std::vector<std::string> env_strings;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        bool overridden = false;
        for (const auto& [name, value] : settings) overridden = overridden || entry.starts_with(name + "=");
        if (!overridden) env_strings.push_back(entry);
    }
    for (const auto& [name, value] : settings) {
        std::erase_if(env_strings, [&name](const std::string& entry) { return entry.starts_with(name + "="); });
        env_strings.push_back(name + "=" + value);
    }
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : env_strings) envp.push_back(e.data());
    envp.push_back(nullptr);

    int out_pipe[2];
    int err_pipe[2];
    if (pipe2(out_pipe, O_CLOEXEC) != 0) return;
    if (pipe2(err_pipe, O_CLOEXEC) != 0) {
        close(out_pipe[0]);
        close(out_pipe[1]);
        return;
    }
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out_pipe[1], STDOUT_FILENO);
        dup2(err_pipe[1], STDERR_FILENO);
        if (chdir(cwd.c_str()) != 0) _exit(126);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    out_fd_ = out_pipe[0];
    err_fd_ = err_pipe[0];
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
    }
    if (out_fd_ >= 0) close(out_fd_);
    if (err_fd_ >= 0) close(err_fd_);
}

bool ChildProcess::ReadSome(std::chrono::milliseconds timeout) {
    pollfd fds[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
    if (out_fd_ < 0 && err_fd_ < 0) return false;
    if (poll(fds, 2, static_cast<int>(timeout.count())) <= 0) return true;
    char buffer[65536];
    int* fd_of[2] = {&out_fd_, &err_fd_};
    std::string* text_of[2] = {&result_.out, &result_.err};
    for (int i = 0; i < 2; ++i) {
        if (*fd_of[i] < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
        const ssize_t n = read(*fd_of[i], buffer, sizeof buffer);
        if (n > 0) {
            text_of[i]->append(buffer, static_cast<std::size_t>(n));
        } else {
            close(*fd_of[i]);
            *fd_of[i] = -1;
        }
    }
    return out_fd_ >= 0 || err_fd_ >= 0;
}

bool ChildProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (result_.out.find(text) == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !ReadSome(left)) return result_.out.find(text) != std::string::npos;
    }
    return true;
}

void ChildProcess::Signal(int signal_number) {
    if (pid_ > 0 && !reaped_) kill(pid_, signal_number);
}

bool ChildProcess::Running() {
    if (pid_ <= 0 || reaped_) return false;
    if (waitpid(pid_, &status_, WNOHANG) == pid_) reaped_ = true;
    return !reaped_;
}

ProcessResult ChildProcess::Finish() {
    while (ReadSome(std::chrono::milliseconds(1000))) {
    }
    if (pid_ > 0 && !reaped_) {
        waitpid(pid_, &status_, 0);
        reaped_ = true;
    }
    result_.exit_code = (pid_ > 0 && WIFEXITED(status_)) ? WEXITSTATUS(status_) : -1;
    return result_;
}

ProcessResult RunProcess(const std::vector<std::string>& args, const std::string& cwd,
                         const std::vector<std::pair<std::string, std::string>>& env) {
    ChildProcess child(args, cwd, env);
    return child.Finish();
}

}  // namespace gathrix::test
