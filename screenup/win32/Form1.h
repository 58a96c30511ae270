// Form1: the uploader's main window on the Windows API. Six resource rows
// (check box, path box, browse button and, for three of them, an edit button)
// in the frame "Pictures"; "Load theme", "Upload" and the port list (a
// drop-down that accepts typing) at the left; the frame "Debug" with the
// transfer log and "save" below; a status bar. Its presenter decides what each
// click does.
#pragma once

#include <windows.h>

#include "MainWindowPresenter.h"
#include "WinWindow.h"
#include "frmPalette.h"
#include "frmProgress.h"
#include "frmSize.h"

#include <filesystem>
#include <memory>
#include <string>

struct TForm1Options {
    // Put first in the port list and selected; empty keeps "COM1" selected.
    std::wstring Port;
    // Where the settings dump writes "set.bin": the program's folder.
    std::filesystem::path ProgramFolder;
};

class Form1 final : public TWinWindow, public TMainWindowView {
public:
    explicit Form1(TForm1Options options);

    // Creates and shows the window.
    bool Open(int show);
    // The windows that take the keyboard's dialog keys (Tab, Enter, Esc,
    // mnemonics) for a message: the one the message is for, if it is ours.
    HWND DialogWindowOf(HWND target) const;

    // TMainWindowView
    void EnableRow(std::size_t row, bool enabled) override;
    void ShowPath(std::size_t row, const std::u16string &path) override;
    void EnableOperations(bool enabled) override;
    std::u16string PortText() const override;
    void ClearDebug() override;
    void AddDebugLine(const std::u16string &line) override;
    void Tell(TNotice kind, const std::string &utf8) override;
    std::optional<std::u16string> ChooseFile(const TDialogInfo &dialog, const std::u16string &start) override;
    bool HasWindow(TWindowKind window) const override;
    bool MakeWindow(TWindowKind window) override;
    void Close(TWindowKind window) override;
    std::optional<TPlaceRect> ShownFrame(TWindowKind window) const override;
    void PlaceBeside(TWindowKind window, const std::vector<TPlaceRect> &avoid) override;
    void Show(TWindowKind window) override;
    void SetProgressStep(int step) override;
    void SetProgressPercent(int percent) override;
    bool ShowPalette(const std::filesystem::path &file) override;

private:
    void Build() override;
    void Layout() override;
    LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Command(int id, int code);
    void BuildPortList();
    TWinWindow *Window(TWindowKind window) const;

    std::wstring port_;
    std::unique_ptr<frmProgress> progress_;
    std::unique_ptr<frmPalette> palette_;
    std::unique_ptr<frmSize> size_;
    TMainWindowPresenter presenter_;
};
