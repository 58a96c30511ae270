// frmPalette: the palette editor. It shows the 16 entries of a palette file as
// a 4 x 4 grid of colour cells, edits the selected entry's colour (double
// click) and alpha (slider "Alpha"), and writes the 64 entry bytes back on
// "&Ok", keeping every byte of the file after them. Esc presses "&Cancel".
#pragma once

#include "PaletteEditorModel.h"

#include <QString>
#include <QWidget>

#include <array>
#include <filesystem>

class QGroupBox;
class QPushButton;
class QSlider;
class TColorCell;

class frmPalette : public QWidget {
public:
    explicit frmPalette(QWidget *owner);

    // Loads the file and shows the editor. A file that cannot be read is
    // refused with a message naming it; the editor then keeps what it showed.
    bool ShowForm(const std::filesystem::path &path);
    bool ShowForm(const QString &path);
    void Select(int entry);

    const TPaletteEditorModel &Model() const { return model_; }

    QGroupBox *Frame1 = nullptr;
    std::array<TColorCell *, PaletteEntryCount> col{};
    QSlider *Slider1 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    // Shows what the model holds in the cells and the slider.
    void Show();
    void PickColor(int entry);
    void Save();

    TPaletteEditorModel model_;
};
