#include "CtlTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

using Clock = std::chrono::steady_clock;

int Remaining(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

// Reads what is there from fd into text; false at its end.
bool Drain(int fd, std::string &text) {
    char chunk[4096];
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n > 0) {
        text.append(chunk, std::size_t(n));
        return true;
    }
    return n < 0 && errno == EINTR;
}

int ExitOf(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + WTERMSIG(status);
}

// Waits for the child at most until deadline, then kills it.
int Reap(pid_t pid, Clock::time_point deadline, bool &killed) {
    int status = 0;
    killed = false;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return ExitOf(status);
        if (Clock::now() >= deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            killed = true;
            return ExitOf(status);
        }
        usleep(10000);
    }
}

// What a child gets: the program, its arguments and its environment, prepared
// before fork so that the child only calls exec.
struct TChild {
    std::vector<std::string> Strings;
    std::vector<char *> Argv;
    std::vector<char *> Envp;

    TChild(const std::string &program, const std::vector<std::string> &args,
           const std::map<std::string, std::string> &environment) {
        Strings.push_back(program);
        Strings.insert(Strings.end(), args.begin(), args.end());
        const std::size_t argc = Strings.size();
        for (char **variable = environ; *variable != nullptr; ++variable) {
            const std::string entry = *variable;
            const std::string name = entry.substr(0, entry.find('='));
            if (name != "VELK_PORT" && environment.count(name) == 0)
                Strings.push_back(entry);
        }
        for (const auto &[name, value] : environment)
            Strings.push_back(name + "=" + value);
        for (std::size_t i = 0; i < Strings.size(); ++i)
            (i < argc ? Argv : Envp).push_back(Strings[i].data());
        Argv.push_back(nullptr);
        Envp.push_back(nullptr);
    }
    // A child ends with the test program, also when that one is killed.
    [[noreturn]] void Exec() {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        execve(Argv[0], Argv.data(), Envp.data());
        _exit(127);
    }
};

} // namespace

TRunResult RunProgram(const std::string &program, const std::vector<std::string> &args, const TRunOptions &options) {
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    if (options.ErrorOnTerminal) {
        if (openpty(&err[0], &err[1], nullptr, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        fcntl(err[0], F_SETFD, FD_CLOEXEC);
        fcntl(err[1], F_SETFD, FD_CLOEXEC);
    } else if (pipe2(err, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    TChild child(program, args, options.Environment);
    const int input = open(options.InputFile.empty() ? "/dev/null" : options.InputFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (input < 0)
        throw std::runtime_error("cannot open " + options.InputFile);
    const int appended =
        options.AppendOutputTo.empty() ? -1 : open(options.AppendOutputTo.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (!options.AppendOutputTo.empty() && appended < 0)
        throw std::runtime_error("cannot open " + options.AppendOutputTo);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(appended >= 0 ? appended : out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        dup2(input, STDIN_FILENO);
        child.Exec();
    }
    close(input);
    if (appended >= 0)
        close(appended);
    close(out[1]);
    close(err[1]);

    TRunResult result;
    const auto deadline = Clock::now() + options.Timeout;
    bool outOpen = true;
    bool errOpen = true;
    bool interrupted = false;
    while ((outOpen || errOpen) && Clock::now() < deadline) {
        if (options.InterruptWhen && !interrupted && options.InterruptWhen(result.Out, result.Err)) {
            kill(pid, SIGINT);
            interrupted = true;
        }
        pollfd fds[2] = {{outOpen ? out[0] : -1, POLLIN, 0}, {errOpen ? err[0] : -1, POLLIN, 0}};
        const bool asking = options.InterruptWhen && !interrupted;
        if (poll(fds, 2, asking ? std::min(10, Remaining(deadline)) : Remaining(deadline)) <= 0)
            continue;
        if (fds[0].revents != 0)
            outOpen = Drain(out[0], result.Out);
        if (fds[1].revents != 0)
            errOpen = Drain(err[0], result.Err); // a terminal reports EIO once the child is gone
    }
    close(out[0]);
    close(err[0]);
    bool killed = false;
    result.Exit = Reap(pid, deadline, killed);
    EXPECT_FALSE(killed) << program << " did not end within " << options.Timeout.count() << " s";
    return result;
}

TSimProcess::TSimProcess(const std::vector<std::string> &extraArgs, const std::filesystem::path &stateFrom)
    : TSimProcess(extraArgs, &stateFrom) {}

TSimProcess::TSimProcess(const std::vector<std::string> &extraArgs) : TSimProcess(extraArgs, nullptr) {}

TSimProcess::TSimProcess(const std::vector<std::string> &extraArgs, const std::filesystem::path *stateFrom) {
    if (stateFrom)
        std::filesystem::copy(*stateFrom, StateFolder(), std::filesystem::copy_options::recursive);
    line_ = (folder_.Path() / "line").string();
    std::vector<std::string> args = {"--state", StateFolder().string(), "--link", line_};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    // A simulator that hangs up the line ends with exit code 1 by design.
    for (const std::string &arg : extraArgs)
        if (arg.starts_with("--hang-up-after"))
            endsWith_ = 1;

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    TChild child(VELKSIM_PATH, args, {});
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], STDOUT_FILENO);
        child.Exec();
    }
    close(out[1]);
    output_ = out[0];

    // The simulator names its line once it serves.
    std::string said;
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (said.find('\n') == std::string::npos && Clock::now() < deadline) {
        pollfd fd = {output_, POLLIN, 0};
        if (poll(&fd, 1, Remaining(deadline)) > 0 && !Drain(output_, said))
            break;
    }
    if (said.find("ready") == std::string::npos) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        throw std::runtime_error("velksim did not start: " + said);
    }
}

TSimProcess::~TSimProcess() {
    kill(pid_, SIGTERM);
    bool killed = false;
    const int exit = Reap(pid_, Clock::now() + std::chrono::seconds(10), killed);
    EXPECT_FALSE(killed) << "velksim ignored SIGTERM";
    EXPECT_EQ(exit, endsWith_) << "velksim ended badly";
    close(output_);
}

std::vector<uint8_t> TSimProcess::Slot(int slot) const {
    const std::vector<uint8_t> flash = Flash();
    const auto start = flash.begin() + std::ptrdiff_t(slot) * 0x10000;
    return std::vector<uint8_t>(start, start + 0x10000);
}

TRunResult TSimProcess::Ctl(std::vector<std::string> args, const TRunOptions &options) const {
    args.insert(args.begin(), {"--port", line_});
    return RunProgram(VELKCTL_PATH, args, options);
}
