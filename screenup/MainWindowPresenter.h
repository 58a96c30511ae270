// TMainWindowPresenter: what the main window does, without a window toolkit.
// The front end's Form1 draws the controls and implements TMainWindowView; it
// hands every click and change here, and this decides what follows: the
// enabling of the rows and of the operations, the dialogs and messages, which
// secondary window opens and where, the progress window's life, the closing
// rule. It is the host of the library's callbacks and the window of the two
// operations while it exists.
//
// Thread rule: everything runs on the window thread.
#pragma once

#include "MainWindowModel.h"
#include "UploaderOperations.h"
#include "WindowPlacement.h"
#include "mdlLoader.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The main window's secondary windows; at most one of each exists.
enum class TWindowKind { Progress, Palette, Size };
inline constexpr TWindowKind WindowKinds[] = {TWindowKind::Progress, TWindowKind::Palette, TWindowKind::Size};

// What the presenter needs of the window that draws the main window.
class TMainWindowView {
public:
    virtual ~TMainWindowView() = default;

    // The controls.
    virtual void EnableRow(std::size_t row, bool enabled) = 0;
    virtual void ShowPath(std::size_t row, const std::u16string &path) = 0;
    // "Upload" and "save".
    virtual void EnableOperations(bool enabled) = 0;
    virtual std::u16string PortText() const = 0;
    virtual void ClearDebug() = 0;
    virtual void AddDebugLine(const std::u16string &line) = 0;

    // The modal questions: a message with one OK button; the file-open dialog,
    // starting from start (the chosen file, nothing when cancelled).
    virtual void Tell(TNotice kind, const std::string &utf8) = 0;
    virtual std::optional<std::u16string> ChooseFile(const TDialogInfo &dialog, const std::u16string &start) = 0;

    // The secondary windows. MakeWindow creates one hidden, owned by the main
    // window (false when it could not); Close closes one that exists.
    virtual bool HasWindow(TWindowKind window) const = 0;
    virtual bool MakeWindow(TWindowKind window) = 0;
    virtual void Close(TWindowKind window) = 0;
    // Its frame while it exists and shows.
    virtual std::optional<TPlaceRect> ShownFrame(TWindowKind window) const = 0;
    // Moves one that is not showing yet to where it opens (WindowPlacement)
    // beside the main window, off the frames to avoid.
    virtual void PlaceBeside(TWindowKind window, const std::vector<TPlaceRect> &avoid) = 0;
    // Shows the progress window without taking the keyboard, an editor in
    // front with the keyboard.
    virtual void Show(TWindowKind window) = 0;
    // The progress window's bars: the upload's step and the write's percentage.
    virtual void SetProgressStep(int step) = 0;
    virtual void SetProgressPercent(int percent) = 0;
    // The palette editor loads the file and shows it; false when it refused it.
    virtual bool ShowPalette(const std::filesystem::path &file) = 0;
};

class TMainWindowPresenter final : public TLoaderHost, public TUploaderWindow {
public:
    // programFolder: where "save" writes "set.bin".
    TMainWindowPresenter(TMainWindowView &view, std::filesystem::path programFolder);
    ~TMainWindowPresenter() override;
    TMainWindowPresenter(const TMainWindowPresenter &) = delete;
    TMainWindowPresenter &operator=(const TMainWindowPresenter &) = delete;

    // An operation that talks to the decoder is running.
    bool Busy() const { return model_.Busy(); }

    // The controls' changes and clicks.
    void RowChecked(std::size_t row, bool checked);
    void PathEdited(std::size_t row, std::u16string path);
    void Browse(std::size_t row);
    void Edit(std::size_t row);
    void LoadTheme();
    void Upload();
    void SaveSettings();
    // The main window closes: the secondary windows close with it, and a
    // running operation asks the library for nothing more.
    void Close();

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
    // The window exists, created hidden when it did not; false when it could not be.
    bool Ensure(TWindowKind window);
    // Beside the main window, off the other secondary windows showing.
    void Place(TWindowKind window);

    TMainWindowView &view_;
    std::filesystem::path programFolder_;
    TMainWindowModel model_;
};
