#include "ctlchildprocess.h"

#include "ctlerror.h"

#include <windows.h>

namespace {

std::wstring Wide(const std::string &text) {
    if (text.empty())
        return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(std::size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), length);
    return wide;
}

std::string Narrow(const std::wstring &text) {
    if (text.empty())
        return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(std::size_t(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), narrow.data(), length, nullptr, nullptr);
    return narrow;
}

// One argument quoted as the C runtime splits a command line: backslashes
// count only before a quote.
std::wstring Quoted(const std::wstring &argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

class THandle {
public:
    THandle() = default;
    ~THandle() { Close(); }
    THandle(const THandle &) = delete;
    THandle &operator=(const THandle &) = delete;
    HANDLE Get() const { return handle_; }
    HANDLE *Put() {
        Close();
        return &handle_;
    }
    void Close() {
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    HANDLE handle_ = nullptr;
};

std::string SystemText(DWORD code) {
    wchar_t *text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::string narrow = text ? Narrow(text) : "error " + std::to_string(code);
    LocalFree(text);
    while (!narrow.empty() && (narrow.back() == '\n' || narrow.back() == '\r'))
        narrow.pop_back();
    return narrow;
}

// A pipe whose write end the child inherits and whose read end it does not.
void MakePipe(THandle &read, THandle &write) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    if (!CreatePipe(read.Put(), write.Put(), &inherit, 0))
        throw ECtlFailed("cannot make a pipe: " + SystemText(GetLastError()));
    SetHandleInformation(read.Get(), HANDLE_FLAG_INHERIT, 0);
}

std::size_t ReadSome(HANDLE pipe, char *buffer, std::size_t size) {
    DWORD got = 0;
    if (!ReadFile(pipe, buffer, DWORD(size), &got, nullptr))
        return 0; // ERROR_BROKEN_PIPE: the child closed its end
    return got;
}

} // namespace

struct TChildProcess::TSystem {
    THandle Process;
    bool Ended = false;
    TChildEnd End;
    THandle Output, Error;
};

TChildProcess::TChildProcess(const std::string &program, const std::vector<std::string> &arguments,
                             const std::string &variable)
    : system_(std::make_unique<TSystem>()) {
    THandle outWrite, errWrite, input;
    MakePipe(system_->Output, outWrite);
    MakePipe(system_->Error, errWrite);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    *input.Put() =
        CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);

    std::wstring commandLine;
    for (const std::string &argument : arguments)
        commandLine += (commandLine.empty() ? L"" : L" ") + Quoted(Wide(argument));
    // Children are started one at a time from one thread, so the variable set
    // here is the one the child copies.
    const std::size_t equals = variable.find('=');
    const std::wstring name = Wide(variable.substr(0, equals));
    SetEnvironmentVariableW(name.c_str(), Wide(variable.substr(equals + 1)).c_str());

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.Get();
    startup.hStdOutput = outWrite.Get();
    startup.hStdError = errWrite.Get();
    PROCESS_INFORMATION process{};
    const std::wstring path = Wide(program);
    const BOOL started = CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &process);
    const DWORD error = GetLastError();
    SetEnvironmentVariableW(name.c_str(), nullptr);
    if (!started)
        throw ECtlFailed("cannot start " + program + ": " + SystemText(error));
    CloseHandle(process.hThread);
    *system_->Process.Put() = process.hProcess;
}

TChildProcess::~TChildProcess() {
    if (!system_->Ended && system_->Process.Get() != nullptr) {
        TerminateProcess(system_->Process.Get(), 1);
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
    WaitForSingleObject(system_->Process.Get(), INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(system_->Process.Get(), &code);
    system_->Ended = true;
    system_->End.Code = int(code);
    return system_->End;
}

std::string TChildProcess::SelfPath() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
    path.resize(length);
    return Narrow(path);
}
