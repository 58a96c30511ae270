// Form1: the uploader's main window. Six resource rows (check box, path box,
// browse button and, for three of them, an edit button) in the frame
// "Pictures"; "Load theme", "Upload" and the port list at the left; the frame
// "Debug" with the transfer log and the "save" button (the settings dump)
// below; a status bar. It is the host of the library's callbacks while it
// exists.
#pragma once

#include "MainWindowModel.h"
#include "UploaderOperations.h"
#include "mdlLoader.h"
#include "screenresources.h"
#include "screenupload.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <array>
#include <filesystem>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStatusBar;
class frmPalette;
class frmProgress;
class frmSize;

struct TForm1Options {
    // Put first in the port list and selected; empty keeps "COM1" selected.
    QString Port;
    // Where the settings dump writes "set.bin": the program's folder.
    QString ProgramFolder;
};

class Form1 : public QMainWindow, public TLoaderHost, public TUploaderWindow {
public:
    explicit Form1(TForm1Options options = {});
    ~Form1() override;

    std::array<QCheckBox *, ResourceCount> Check1{};
    std::array<QLineEdit *, ResourceCount> txtPath{};
    std::array<QPushButton *, ResourceCount> btnbrw{};
    // Only rows 3, 4 and 5 have one; the others are null.
    std::array<QPushButton *, ResourceCount> cmdEdit{};
    QComboBox *Combo1 = nullptr;
    QPushButton *Command1 = nullptr; // "save"
    QPushButton *Command2 = nullptr; // "Upload"
    QPushButton *Command3 = nullptr; // "Load theme"
    QGroupBox *Frame1 = nullptr;     // "Debug"
    QGroupBox *Frame2 = nullptr;     // "Pictures"
    QListWidget *lstDebug = nullptr;
    QStatusBar *StatusBar1 = nullptr;

    // The other windows while they exist.
    frmProgress *ProgressWindow() const;
    frmPalette *PaletteEditor() const;
    frmSize *SizeEditor() const;

    // An operation that talks to the decoder is running.
    bool Busy() const { return model_.Busy(); }
    // The window was closed; a running operation stops asking the library.
    bool Closing() const override { return model_.Closing(); }

    // The operations behind the buttons.
    void Upload();
    void SaveSettings();
    void Browse(std::size_t row);
    void Edit(std::size_t row);
    void LoadTheme();

    // The rows and the size values as an upload would send them.
    TScreenSelection Selection() const;

    // TLoaderHost
    void ClearDebug() override;
    void AddDebugLine(const std::u16string &line) override;
    void SetWritePercent(int percent) override;
    void ShowLibraryError(const std::u16string &text) override;

    // TUploaderWindow
    std::array<TResourceChoice, ResourceCount> Rows() const override;
    std::string PortName() const override;
    std::filesystem::path SettingsFile() const override;
    void SetBusy(bool busy) override;
    void Tell(TNotice kind, const std::string &utf8) override;
    void OpenProgress() override;
    void SetProgressStep(int step) override;
    void CloseProgress() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void BuildRows();
    void BuildPortList(const QString &port);
    void RowChecked(std::size_t row, bool checked);
    // Moves a secondary window that is not showing yet to where it opens
    // (see WindowPlacement), shrinking it to the screen when it is larger.
    void PlaceBeside(QWidget *window) const;

    TForm1Options options_;
    QPointer<frmProgress> progress_;
    QPointer<frmPalette> palette_;
    QPointer<frmSize> size_;
    TMainWindowModel model_;
};
