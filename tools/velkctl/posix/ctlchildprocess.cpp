#include "ctlchildprocess.h"

#include "ctlerror.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>

extern char **environ;

namespace {

class TFd {
public:
    TFd() = default;
    explicit TFd(int fd) : fd_(fd) {}
    ~TFd() { Close(); }
    TFd(const TFd &) = delete;
    TFd &operator=(const TFd &) = delete;
    int Get() const { return fd_; }
    void Reset(int fd) {
        Close();
        fd_ = fd;
    }
    void Close() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

void MakePipe(TFd &read, TFd &write) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        throw ECtlFailed(std::string("cannot make a pipe: ") + std::strerror(errno));
    read.Reset(ends[0]);
    write.Reset(ends[1]);
}

std::size_t ReadSome(int fd, char *buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = ::read(fd, buffer, size);
        if (got >= 0)
            return std::size_t(got);
        if (errno != EINTR)
            return 0;
    }
}

} // namespace

struct TChildProcess::TSystem {
    pid_t Pid = -1;
    bool Ended = false;
    TChildEnd End;
    TFd Output, Error;
};

TChildProcess::TChildProcess(const std::string &program, const std::vector<std::string> &arguments,
                             const std::string &variable)
    : system_(std::make_unique<TSystem>()) {
    TFd outWrite, errWrite;
    MakePipe(system_->Output, outWrite);
    MakePipe(system_->Error, errWrite);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outWrite.Get(), 1);
    posix_spawn_file_actions_adddup2(&actions, errWrite.Get(), 2);

    std::vector<char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    const std::string name = variable.substr(0, variable.find('=') + 1);
    std::vector<char *> envp;
    for (char **entry = environ; *entry != nullptr; ++entry)
        if (std::strncmp(*entry, name.c_str(), name.size()) != 0)
            envp.push_back(*entry);
    envp.push_back(const_cast<char *>(variable.c_str()));
    envp.push_back(nullptr);

    const int failed = ::posix_spawn(&system_->Pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0)
        throw ECtlFailed("cannot start " + program + ": " + std::strerror(failed));
}

TChildProcess::~TChildProcess() {
    if (!system_->Ended && system_->Pid > 0) {
        ::kill(system_->Pid, SIGTERM);
        Wait();
    }
}

std::size_t TChildProcess::ReadOutput(char *buffer, std::size_t size) {
    return ReadSome(system_->Output.Get(), buffer, size);
}

std::size_t TChildProcess::ReadError(char *buffer, std::size_t size) {
    return ReadSome(system_->Error.Get(), buffer, size);
}

TChildEnd TChildProcess::Wait() {
    if (system_->Ended)
        return system_->End;
    int status = 0;
    while (::waitpid(system_->Pid, &status, 0) < 0)
        if (errno != EINTR)
            break;
    system_->Ended = true;
    if (WIFEXITED(status))
        system_->End.Code = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        system_->End = {128 + WTERMSIG(status), WTERMSIG(status)};
    return system_->End;
}

std::string TChildProcess::SelfPath() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string("velkctl") : self.string();
}
