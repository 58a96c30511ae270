// TChildProcess: another velkctl run by this one, its standard output and
// standard error each on a pipe of their own and its standard input empty.
// A run on several decoders gives each decoder a process, so one that hangs or
// crashes holds up no other. Reads block until bytes come or the child closes
// its end; the caller gives each pipe a thread of its own.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

struct TChildEnd {
    int Code = 0;   // the exit code, when it ended by itself
    int Signal = 0; // the signal that ended it (POSIX); 0: none
};

class TChildProcess {
public:
    // Starts program with arguments (UTF-8; the first is the program's name
    // as it sees it) and one more environment variable NAME=VALUE. Throws
    // ECtlFailed with the system's cause when it cannot be started.
    TChildProcess(const std::string &program, const std::vector<std::string> &arguments, const std::string &variable);
    // Ends a child still running and waits for it.
    ~TChildProcess();
    TChildProcess(const TChildProcess &) = delete;
    TChildProcess &operator=(const TChildProcess &) = delete;

    // Bytes the child wrote on standard output (error: standard error); 0 once
    // it has closed it.
    std::size_t ReadOutput(char *buffer, std::size_t size);
    std::size_t ReadError(char *buffer, std::size_t size);
    // Waits until the child has ended.
    TChildEnd Wait();

    // This program's own file, to run again.
    static std::string SelfPath();

private:
    struct TSystem;
    std::unique_ptr<TSystem> system_;
};
