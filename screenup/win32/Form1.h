// Form1: the uploader's main window on the Windows API. Six resource rows
// (check box, path box, browse button and, for three of them, an edit button)
// in the frame "Pictures"; "Load theme", "Upload" and the port list (a
// drop-down that accepts typing) at the left; the frame "Debug" with the
// transfer log and "save" below; a status bar. It is the host of the
// library's callbacks while it exists, and runs the shared operations.
#pragma once

#include <windows.h>

#include "MainWindowModel.h"
#include "UploaderOperations.h"
#include "WinWindow.h"
#include "frmPalette.h"
#include "frmProgress.h"
#include "frmSize.h"
#include "mdlLoader.h"

#include <filesystem>
#include <memory>
#include <string>

struct TForm1Options {
    // Put first in the port list and selected; empty keeps "COM1" selected.
    std::wstring Port;
    // Where the settings dump writes "set.bin": the program's folder.
    std::filesystem::path ProgramFolder;
};

class Form1 final : public TWinWindow, public TLoaderHost, public TUploaderWindow {
public:
    explicit Form1(TForm1Options options);
    ~Form1() override;

    // Creates and shows the window.
    bool Open(int show);
    // The windows that take the keyboard's dialog keys (Tab, Enter, Esc,
    // mnemonics) for a message: the one the message is for, if it is ours.
    HWND DialogWindowOf(HWND target) const;

    // TLoaderHost
    void ClearDebug() override;
    void AddDebugLine(const std::u16string &line) override;
    void SetWritePercent(int percent) override;
    void ShowLibraryError(const std::u16string &text) override;

    // TUploaderWindow
    std::array<TResourceChoice, ResourceCount> Rows() const override;
    std::string PortName() const override;
    std::filesystem::path SettingsFile() const override;
    bool Closing() const override { return model_.Closing(); }
    void SetBusy(bool busy) override;
    void Tell(TNotice kind, const std::string &utf8) override;
    void OpenProgress() override;
    void SetProgressStep(int step) override;
    void CloseProgress() override;

private:
    void Build() override;
    void Layout() override;
    LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Command(int id, int code);
    void BuildPortList();
    void RowChecked(std::size_t row);
    void Browse(std::size_t row);
    void Edit(std::size_t row);
    void Close();
    frmProgress &Progress();

    TForm1Options options_;
    std::unique_ptr<frmProgress> progress_;
    std::unique_ptr<frmPalette> palette_;
    std::unique_ptr<frmSize> size_;
    TMainWindowModel model_;
};
