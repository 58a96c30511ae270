// Form1: the uploader's main window. Six resource rows (check box, path box,
// browse button and, for three of them, an edit button) in the frame
// "Pictures"; "Load theme", "Upload" and the port list at the left; the frame
// "Debug" with the transfer log and the "save" button (the settings dump)
// below; a status bar. Its presenter decides what each click does.
#pragma once

#include "MainWindowPresenter.h"
#include "screenresources.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <array>

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

class Form1 : public QMainWindow, public TMainWindowView {
public:
    explicit Form1(const TForm1Options &options = {});

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

    // What the clicks do, for callers that act without clicking.
    TMainWindowPresenter &Presenter() { return presenter_; }

    // TMainWindowView
    void EnableRow(std::size_t row, bool enabled) override;
    void ShowPath(std::size_t row, const std::u16string &path) override;
    void EnableOperations(bool enabled) override;
    std::u16string PortText() const override;
    void ClearDebug() override;
    void AddDebugLine(const std::u16string &line) override;
    void Tell(TNotice kind, const std::string &utf8) override;
    std::optional<std::u16string> ChooseFile(const TDialogInfo &dialog, const std::u16string &start) override;
    bool HasWindow(TWindowKind window) const override { return Window(window) != nullptr; }
    bool MakeWindow(TWindowKind window) override;
    void Close(TWindowKind window) override;
    std::optional<TPlaceRect> ShownFrame(TWindowKind window) const override;
    void PlaceBeside(TWindowKind window, const std::vector<TPlaceRect> &avoid) override;
    void Show(TWindowKind window) override;
    void SetProgressStep(int step) override;
    void SetProgressPercent(int percent) override;
    bool ShowPalette(const std::filesystem::path &file) override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void BuildRows();
    void BuildPortList(const QString &port);
    QWidget *Window(TWindowKind window) const;

    QPointer<frmProgress> progress_;
    QPointer<frmPalette> palette_;
    QPointer<frmSize> size_;
    TMainWindowPresenter presenter_;
};
