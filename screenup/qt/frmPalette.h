// frmPalette: the palette editor. It shows the 16 entries of a palette file as
// a 4 x 4 grid of colour cells, edits the selected entry's colour (double
// click) and alpha (slider "Alpha"), and writes the 64 entry bytes back on
// "&Ok", keeping every byte of the file after them. Esc presses "&Cancel".
#pragma once

#include "PaletteEditorPresenter.h"

#include <QString>
#include <QWidget>

#include <array>
#include <filesystem>

class QGroupBox;
class QPushButton;
class QSlider;
class TColorCell;

class frmPalette : public QWidget, public TPaletteEditorView {
public:
    explicit frmPalette(QWidget *owner);

    // Loads the file and shows the editor (see TPaletteEditorPresenter::Open).
    bool ShowForm(const std::filesystem::path &path) { return presenter_.Open(path); }
    bool ShowForm(const QString &path);
    void Select(int entry) { presenter_.Select(entry); }

    const TPaletteEditorModel &Model() const { return presenter_.Model(); }

    QGroupBox *Frame1 = nullptr;
    std::array<TColorCell *, PaletteEntryCount> col{};
    QSlider *Slider1 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;

    // TPaletteEditorView
    void ShowCell(int entry, const TPaletteCell &cell) override;
    void ShowAlpha(int value) override;
    std::optional<TRgb> ChooseColor(TRgb start) override;
    void Warn(const std::string &utf8) override;
    void Present() override;
    void Close() override { close(); }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    TPaletteEditorPresenter presenter_{*this};
};
