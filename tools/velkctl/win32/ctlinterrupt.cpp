// The C runtime of Windows runs a SIGINT handler (Ctrl-C, Ctrl-Break) on a
// thread of its own; the program then ends with the code of a program ended by
// Ctrl-C. A file still open on the main thread cannot be removed: the files
// being made are open only while their bytes are written.
#include "ctlinterrupt.h"

#include <csignal>
#include <cstdlib>
#include <direct.h>
#include <io.h>

namespace {

// STATUS_CONTROL_C_EXIT, what the system reports for a program ended by Ctrl-C.
constexpr unsigned ControlCExit = 0xC000013A;

} // namespace

void TInterrupt::InstallHandler(void (*handler)(int)) {
    std::signal(SIGINT, handler);
    std::signal(SIGTERM, handler);
    std::signal(SIGBREAK, handler);
}

void TInterrupt::RemoveFile(const char *path) {
    _unlink(path);
}

void TInterrupt::RemoveFolder(const char *path) {
    _rmdir(path);
}

void TInterrupt::WriteError(const char *text, std::size_t length) {
    _write(2, text, unsigned(length));
}

void TInterrupt::EndBy(int) {
    _exit(int(ControlCExit));
}
