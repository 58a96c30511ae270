// POSIX signals: the handler runs once (it is reset to the default action on
// entry), and raising the signal again ends the process by it, so the parent
// sees the usual status of an interrupted program.
#include "ctlinterrupt.h"

#include <csignal>
#include <unistd.h>

void TInterrupt::InstallHandler(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

void TInterrupt::RemoveFile(const char *path) {
    ::unlink(path);
}

void TInterrupt::RemoveFolder(const char *path) {
    ::rmdir(path);
}

void TInterrupt::WriteError(const char *text, std::size_t length) {
    while (length > 0) {
        const ssize_t n = ::write(STDERR_FILENO, text, length);
        if (n <= 0)
            return;
        text += n;
        length -= std::size_t(n);
    }
}

void TInterrupt::EndBy(int signal) {
    ::raise(signal);
    ::_exit(128 + signal);
}
