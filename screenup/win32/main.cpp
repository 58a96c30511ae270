// screenup.exe: puts a screen set into the decoder through velklink.dll, dumps
// its settings record and edits palettes and picture sizes, on the Windows API.
//
// Usage: screenup.exe [--port NAME]   (NAME first in the port list, selected)
#include <windows.h>

#include "Form1.h"

#include <commctrl.h>
#include <shellapi.h>

#include <memory>
#include <vector>

namespace {

// The folder that holds the program.
std::filesystem::path ProgramFolder() {
    std::vector<wchar_t> path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size())
            return std::filesystem::path(std::wstring(path.data(), length)).parent_path();
        path.resize(path.size() * 2);
    }
}

// The value of --port NAME (or --port=NAME) on the command line; empty without one.
std::wstring PortOption() {
    int count = 0;
    const std::unique_ptr<LPWSTR, decltype(&::LocalFree)> arguments(::CommandLineToArgvW(::GetCommandLineW(), &count),
                                                                    &::LocalFree);
    if (!arguments)
        return {};
    for (int i = 1; i < count; ++i) {
        const std::wstring argument = arguments.get()[i];
        if (argument == L"--port" && i + 1 < count)
            return arguments.get()[i + 1];
        if (argument.starts_with(L"--port="))
            return argument.substr(7);
    }
    return {};
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_WIN95_CLASSES;
    ::InitCommonControlsEx(&controls);

    Form1 form({PortOption(), ProgramFolder()});
    if (!form.Open(show))
        return 1;
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Tab, Enter, Esc and the mnemonics work as in a dialog in each of the
        // program's windows.
        const HWND dialog = form.DialogWindowOf(message.hwnd);
        if (dialog != nullptr && ::IsDialogMessageW(dialog, &message))
            continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
