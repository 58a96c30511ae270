// TInterrupt: what Ctrl-C (SIGINT) or a request to end (SIGTERM, SIGHUP)
// leaves behind. The files a command is still making are removed, and so is a
// folder it made for them once empty; a multi-step write's note saying how far
// it got is printed; then the process ends by that signal as it would have.
// The handler only removes paths and writes bytes (nothing that allocates or
// locks), so the registrations are fixed-size entries filled before use.
#pragma once

#include "velklink.h"

#include <string>

class TInterrupt {
public:
    // Installs the handler; once, at the start of the program.
    static void Install();

    // Registers a path to remove if the process is ended by a signal while
    // this object lives; a folder is removed only when empty.
    class TRemoval {
    public:
        TRemoval(const std::string &path, bool folder);
        ~TRemoval();
        TRemoval(const TRemoval &) = delete;
        TRemoval &operator=(const TRemoval &) = delete;

    private:
        int entry_ = -1;
    };

    // The line printed (after "velkctl: interrupted: ") when a signal ends the
    // process; an empty text prints none.
    static void SetNote(const std::string &text);

    // The session whose running call a signal cancels (velk_cancel) before
    // the rest is done; null: none.
    static void CancelOnSignal(velk_session *session);

private:
    static void Handle(int signal);
    // The system's part: async-signal-safe.
    static void InstallHandler(void (*handler)(int));
    static void RemoveFile(const char *path);
    static void RemoveFolder(const char *path);
    static void WriteError(const char *text, std::size_t length);
    [[noreturn]] static void EndBy(int signal);
};
