// screenup-driver: drives screenup.exe as a user would, through the messages
// that clicks and typing produce (WM_SETTEXT, BM_CLICK, key and mouse
// messages), finding its windows by caption and its controls by identifier.
// It starts the program with --port COM5 and, in turn: an upload to a port
// that cannot be opened (the library's error box, no progress window); the
// size editor's refusals, then Esc, then values accepted with Enter; the
// palette editor on entry 5 (a colour from the colour dialog, one step of
// alpha, "&Ok"); the upload of all six rows with the box of "Load theme" held
// open mid-upload; "save"; closing the main window ends the program.
// What lands on the decoder and in the files is checked by the caller.
//
// Usage: screenup-driver SCREENUP_EXE SAMPLES_FOLDER PALETTE_FILE HOLD_SECONDS
// Prints "ok ..." per step and "upload: N.N s"; exit code 0 when every step
// held, 1 otherwise.
#include <windows.h>

#include "ControlIds.h"

#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

bool g_failed = false;

void Check(bool held, const char *what) {
    std::printf("%s %s\n", held ? "ok  " : "FAIL", what);
    std::fflush(stdout);
    g_failed = g_failed || !held;
}

// Polls until done() holds or seconds have passed.
bool WaitUntil(const std::function<bool()> &done, double seconds) {
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        if (done())
            return true;
        std::this_thread::sleep_for(50ms);
    }
    return done();
}

// A search for a visible top-level window of the program by caption, or by
// window class when Caption is null.
struct TSearch {
    DWORD Process;
    const wchar_t *Caption;
    const wchar_t *Class;
    HWND Found;
};

BOOL CALLBACK Matches(HWND window, LPARAM data) {
    auto *search = reinterpret_cast<TSearch *>(data);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    wchar_t text[256] = {};
    if (search->Caption != nullptr)
        ::GetWindowTextW(window, text, 256);
    else
        ::GetClassNameW(window, text, 256);
    if (owner == search->Process && ::IsWindowVisible(window) &&
        std::wcscmp(text, search->Caption != nullptr ? search->Caption : search->Class) == 0) {
        search->Found = window;
        return FALSE;
    }
    return TRUE;
}

HWND Find(DWORD process, const wchar_t *caption, const wchar_t *windowClass = nullptr) {
    TSearch search{process, caption, windowClass, nullptr};
    ::EnumWindows(&Matches, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

HWND WaitFor(DWORD process, const wchar_t *caption, double seconds) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = Find(process, caption)) != nullptr; }, seconds);
    return found;
}

std::wstring Text(HWND window) {
    wchar_t text[1024] = {};
    ::SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    return text;
}

BOOL CALLBACK AddStaticText(HWND child, LPARAM data) {
    wchar_t name[32] = {};
    ::GetClassNameW(child, name, 32);
    if (_wcsicmp(name, L"Static") == 0)
        *reinterpret_cast<std::wstring *>(data) += Text(child);
    return TRUE;
}

// Every static text of a message box, joined.
std::wstring BoxText(HWND box) {
    std::wstring all;
    ::EnumChildWindows(box, &AddStaticText, reinterpret_cast<LPARAM>(&all));
    return all;
}

void SetText(HWND control, const std::wstring &text) {
    ::SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// A click whose handler may run a long time or a modal loop: posted, so the
// driver goes on meanwhile.
void Click(HWND button) {
    ::PostMessageW(button, BM_CLICK, 0, 0);
}

void Key(HWND control, UINT key) {
    ::PostMessageW(control, WM_KEYDOWN, key, 1);
    ::PostMessageW(control, WM_KEYUP, key, 0xC0000001);
}

// Closes a message box as its OK button does.
void CloseBox(HWND box) {
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
}

// With VELK_SHOTS set, a moment worth a picture: "shot NAME X Y WIDTH HEIGHT"
// (the screen area of the given windows), then a pause for the picture.
void Shot(const char *name, std::initializer_list<HWND> windows) {
    if (std::getenv("VELK_SHOTS") == nullptr)
        return;
    std::this_thread::sleep_for(700ms); // painted
    RECT area{};
    bool first = true;
    for (const HWND window : windows) {
        RECT frame{};
        if (window == nullptr || !::IsWindowVisible(window) || ::GetWindowRect(window, &frame) == 0)
            continue;
        if (first)
            area = frame;
        else
            ::UnionRect(&area, &area, &frame);
        first = false;
    }
    std::printf("shot %s %ld %ld %ld %ld\n", name, area.left, area.top, area.right - area.left, area.bottom - area.top);
    std::fflush(stdout);
    std::this_thread::sleep_for(1500ms);
}

struct TProgram {
    PROCESS_INFORMATION Info{};
    HWND Main = nullptr;
    HWND Item(int id) const { return ::GetDlgItem(Main, id); }
    DWORD Id() const { return Info.dwProcessId; }
};

// The message box the program shows next, its caption and its text.
bool ExpectBox(const TProgram &program, const wchar_t *caption, const wchar_t *starts, const char *what) {
    const HWND box = WaitFor(program.Id(), caption, 20);
    const std::wstring text = box != nullptr ? BoxText(box) : L"";
    const bool held = box != nullptr && text.rfind(starts, 0) == 0;
    if (!held)
        std::printf("     box \"%ls\": \"%ls\"\n", caption, text.c_str());
    Check(held, what);
    if (box != nullptr) {
        CloseBox(box);
        WaitUntil([&] { return !::IsWindow(box); }, 10);
    }
    return held;
}

void UnopenablePort(const TProgram &program) {
    SetText(program.Item(kCombo1), L"COM31");
    Click(program.Item(kCommand2));
    ExpectBox(program, L"Error", L"", "a port that cannot be opened: the library's error box");
    Check(WaitUntil([&] { return ::IsWindowEnabled(program.Item(kCommand2)) != 0; }, 20) &&
              Find(program.Id(), L"Progress") == nullptr,
          "  and the upload ends without a progress window");
    // Back to COM5, chosen from the list.
    const HWND combo = program.Item(kCombo1);
    const auto com5 =
        ::SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"COM5"));
    ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(com5), 0);
    Check(com5 == 0 && ::SendMessageW(combo, CB_GETCOUNT, 0, 0) >= 5 && Text(combo) == L"COM5",
          "  the port list: COM5 first, then COM1 to COM4 and the system's ports");
}

void SizeEditor(const TProgram &program) {
    ::SendMessageW(program.Item(kCheck1 + 4), BM_CLICK, 0, 0);
    Click(program.Item(kCmdEdit + 4));
    HWND size = WaitFor(program.Id(), L"Size", 10);
    Check(size != nullptr, "the size editor opens");
    if (size == nullptr)
        return;
    const auto field = [&](int i) { return ::GetDlgItem(size, kTxtSize + i); };
    Check(::SendMessageW(::GetDlgItem(size, kSizeCheck1), BM_GETCHECK, 0, 0) == BST_UNCHECKED &&
              !::IsWindowEnabled(field(0)) && Text(field(2)) == L"0",
          "  first opening: \"Modify\" unchecked, fields disabled at 0");
    ::SendMessageW(::GetDlgItem(size, kSizeCheck1), BM_CLICK, 0, 0);
    Check(::IsWindowEnabled(field(0)) != 0, "  \"Modify\" enables the fields");
    for (const wchar_t *refused : {L"abc", L"40000", L"-1", L""}) {
        SetText(field(2), refused);
        Click(::GetDlgItem(size, IDOK));
        ExpectBox(program, L"screenup", L"Width", "  a value refused by \"oK\", naming the field");
        Check(::IsWindow(size) != 0, "  the editor stays open");
    }
    // Esc leaves the values as they were.
    Key(field(2), VK_ESCAPE);
    Check(WaitUntil([&] { return !::IsWindow(size); }, 10), "  Esc closes it as \"Cancel\"");
    Click(program.Item(kCmdEdit + 4));
    size = WaitFor(program.Id(), L"Size", 10);
    if (size == nullptr)
        return;
    Check(::SendMessageW(::GetDlgItem(size, kSizeCheck1), BM_GETCHECK, 0, 0) == BST_UNCHECKED && Text(field(2)) == L"0",
          "  after Esc: the stored state again (\"Modify\" unchecked, 0)");
    ::SendMessageW(::GetDlgItem(size, kSizeCheck1), BM_CLICK, 0, 0);
    const wchar_t *values[] = {L"300", L"20", L"640", L"80"};
    for (int i = 0; i < 4; ++i)
        SetText(field(i), values[i]);
    Key(field(3), VK_RETURN);
    Check(WaitUntil([&] { return !::IsWindow(size); }, 10), "  Enter accepts the values as \"oK\"");
}

// The dialog window of the program showing now (the colour dialog: no
// message box is open then).
HWND ColorDialog(const TProgram &program) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = Find(program.Id(), nullptr, L"#32770")) != nullptr; }, 10);
    return found;
}

void PaletteEditor(const TProgram &program, const std::wstring &file) {
    ::SendMessageW(program.Item(kCheck1 + 3), BM_CLICK, 0, 0);
    SetText(program.Item(kTxtPath + 3), file);
    Click(program.Item(kCmdEdit + 3));
    const HWND palette = WaitFor(program.Id(), L"Edit palette", 10);
    Check(palette != nullptr, "the palette editor opens on the file");
    if (palette == nullptr)
        return;
    const HWND cell = ::GetDlgItem(palette, kCol + 5);
    ::PostMessageW(cell, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ::PostMessageW(cell, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    Shot("palette-editor", {palette});
    ::PostMessageW(cell, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
    ::PostMessageW(cell, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    const HWND dialog = ColorDialog(program);
    Check(dialog != nullptr, "  a double click on cell 5 opens the colour dialog");
    if (dialog == nullptr) {
        Click(::GetDlgItem(palette, IDCANCEL));
        return;
    }
    // The dialog's red, green and blue fields.
    SetText(::GetDlgItem(dialog, 706), L"18");
    SetText(::GetDlgItem(dialog, 707), L"52");
    SetText(::GetDlgItem(dialog, 708), L"86");
    Click(::GetDlgItem(dialog, IDOK));
    Check(WaitUntil([&] { return !::IsWindow(dialog); }, 10), "  the colour dialog closes on OK");
    // One step down of alpha with the keyboard.
    Key(::GetDlgItem(palette, kSlider1), VK_LEFT);
    std::this_thread::sleep_for(300ms);
    Click(::GetDlgItem(palette, IDOK));
    Check(WaitUntil([&] { return !::IsWindow(palette); }, 10), "  \"&Ok\" saves and closes it");
}

void Upload(const TProgram &program, const std::wstring &samples, int holdSeconds) {
    const wchar_t *files[] = {L"boot.m2v", L"radio.m2v", L"setup.m2v", nullptr, L"bandeau.pan", L"basic.lut"};
    for (int row = 0; row < 6; ++row) {
        if (files[row] == nullptr)
            continue; // the edited palette is there already
        if (::SendMessageW(program.Item(kCheck1 + row), BM_GETCHECK, 0, 0) != BST_CHECKED)
            ::SendMessageW(program.Item(kCheck1 + row), BM_CLICK, 0, 0);
        SetText(program.Item(kTxtPath + row), samples + L"\\" + files[row]);
    }
    Shot("main-window", {program.Main});
    const auto start = Clock::now();
    Click(program.Item(kCommand2));
    const HWND progress = WaitFor(program.Id(), L"Progress", 20);
    Check(progress != nullptr, "\"Upload\" shows the progress window");
    if (progress == nullptr)
        return;
    // Where it stands once the window manager has shown it.
    std::this_thread::sleep_for(500ms);
    RECT frame{};
    ::GetWindowRect(progress, &frame);
    const bool onScreen = frame.left >= 0 && frame.top >= 0 && frame.right <= ::GetSystemMetrics(SM_CXSCREEN) &&
                          frame.bottom <= ::GetSystemMetrics(SM_CYSCREEN);
    if (!onScreen)
        std::printf("     the progress window at %ld,%ld-%ld,%ld\n", frame.left, frame.top, frame.right, frame.bottom);
    Check(onScreen, "  wholly on the screen");
    Check(!::IsWindowEnabled(program.Item(kCommand2)) && !::IsWindowEnabled(program.Item(kCommand1)),
          "  \"Upload\" and \"save\" disabled meanwhile");
    if (std::getenv("VELK_SHOTS") != nullptr) {
        std::this_thread::sleep_for(2s);
        Shot("upload", {program.Main, progress});
    }
    if (holdSeconds > 0) {
        // The box comes while a resource is being written: the write goes on
        // behind it. (The upload's next item waits for the box: the
        // operation's own steps run one after the other in its click.)
        const auto bar = [&](int id) { return ::SendMessageW(::GetDlgItem(progress, id), PBM_GETPOS, 0, 0); };
        WaitUntil([&] { return bar(kProgressBar1) >= 2 && bar(kProgressBar2) > 0 && bar(kProgressBar2) < 50; }, 60);
        Click(program.Item(kCommand3));
        const HWND box = WaitFor(program.Id(), L"screenup", 10);
        Check(box != nullptr && BoxText(box) == L"Not yet available", "  the box of \"Load theme\" opens mid-write");
        const auto bars = [&] { return std::pair{bar(kProgressBar1), bar(kProgressBar2)}; };
        const auto before = bars();
        std::this_thread::sleep_for(std::chrono::seconds(holdSeconds));
        const auto after = bars();
        std::printf("     progress while the box was open: step %ld, %ld %% -> step %ld, %ld %%\n",
                    static_cast<long>(before.first), static_cast<long>(before.second), static_cast<long>(after.first),
                    static_cast<long>(after.second));
        Check(after.second > before.second, "  the write goes on behind the box");
        Check(Find(program.Id(), L"Error") == nullptr, "  no error while it is held open");
        if (box != nullptr)
            CloseBox(box);
    }
    bool error = false;
    const bool ended = WaitUntil(
        [&] {
            error = error || Find(program.Id(), L"Error") != nullptr;
            return !::IsWindow(progress) || !::IsWindowVisible(progress);
        },
        180);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    Check(ended && !error, "the upload ends without an error box");
    std::printf("upload: %.1f s\n", seconds);
    Check(::SendMessageW(program.Item(kLstDebug), LB_GETCOUNT, 0, 0) > 0, "  the debug list holds the transfer log");
    Check(::IsWindowEnabled(program.Item(kCommand2)) != 0, "  \"Upload\" enabled again");
}

void Save(const TProgram &program) {
    Click(program.Item(kCommand1));
    // "save" is disabled while it runs; the click is handled once it is.
    std::this_thread::sleep_for(500ms);
    Check(WaitUntil([&] { return ::IsWindowEnabled(program.Item(kCommand1)) != 0; }, 60) &&
              Find(program.Id(), L"Error") == nullptr && Find(program.Id(), L"screenup") == nullptr,
          "\"save\" ends without a message");
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: screenup-driver SCREENUP_EXE SAMPLES_FOLDER PALETTE_FILE HOLD_SECONDS\n");
        return 2;
    }
    std::wstring command = L"\"" + std::wstring(argv[1]) + L"\" --port COM5";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    // The interactive desktop (the X display), whatever this console
    // program was given.
    wchar_t desktop[] = L"WinSta0\\Default";
    startup.lpDesktop = desktop;
    TProgram program;
    if (!::CreateProcessW(argv[1], command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &program.Info)) {
        std::fprintf(stderr, "screenup-driver: cannot start %ls (%lu)\n", argv[1], ::GetLastError());
        return 1;
    }
    program.Main = WaitFor(program.Id(), L"Pictor2 Screen Uploader", 60);
    Check(program.Main != nullptr, "the main window opens");
    if (program.Main != nullptr) {
        Check(Text(program.Item(kCombo1)) == L"COM5" && !::IsWindowEnabled(program.Item(kTxtPath + 1)),
              "  COM5 selected, path boxes disabled");
        UnopenablePort(program);
        SizeEditor(program);
        PaletteEditor(program, argv[3]);
        Upload(program, argv[2], _wtoi(argv[4]));
        Save(program);
        ::PostMessageW(program.Main, WM_CLOSE, 0, 0);
    }
    const bool ended = ::WaitForSingleObject(program.Info.hProcess, 30000) == WAIT_OBJECT_0;
    Check(ended, "closing the main window ends the program");
    if (!ended)
        ::TerminateProcess(program.Info.hProcess, 1);
    ::CloseHandle(program.Info.hThread);
    ::CloseHandle(program.Info.hProcess);
    return g_failed ? 1 : 0;
}
