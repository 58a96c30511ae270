// TPaletteEditorPresenter: what the palette editor does, without a window
// toolkit. The front end's frmPalette draws the 16 colour cells, the "Alpha"
// slider and the two buttons, implements TPaletteEditorView and hands every
// click here; the model holds the file and decides what each cell shows.
//
// Thread rule: everything runs on the window thread.
#pragma once

#include "PaletteEditorModel.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

struct TRgb {
    uint8_t Red = 0;
    uint8_t Green = 0;
    uint8_t Blue = 0;
    bool operator==(const TRgb &) const = default;
};

// What the presenter needs of the window that draws the editor.
class TPaletteEditorView {
public:
    virtual ~TPaletteEditorView() = default;
    virtual void ShowCell(int entry, const TPaletteCell &cell) = 0;
    // The slider's position; showing it is not a move of it.
    virtual void ShowAlpha(int value) = 0;
    // The colour dialog, starting from start; nothing when cancelled or when
    // the editor closed meanwhile.
    virtual std::optional<TRgb> ChooseColor(TRgb start) = 0;
    // A refusal of the user's input, with the warning icon.
    virtual void Warn(const std::string &utf8) = 0;
    // Shows the editor in front, with the keyboard.
    virtual void Present() = 0;
    virtual void Close() = 0;
};

class TPaletteEditorPresenter {
public:
    explicit TPaletteEditorPresenter(TPaletteEditorView &view) : view_(view) {}

    const TPaletteEditorModel &Model() const { return model_; }

    // Loads the file, selects entry 0 and shows the editor. A file that
    // cannot be read is refused with a message naming it; the editor then
    // keeps what it showed. False when refused.
    bool Open(const std::filesystem::path &file);
    // A click on a cell.
    void Select(int entry);
    // A double click on a cell: the colour dialog, from the cell's colour.
    void PickColor(int entry);
    // The slider moved.
    void AlphaMoved(int value) { model_.SetAlpha(value); }
    // "&Ok": writes the file and closes, or says why not and stays.
    void Ok();
    // "&Cancel" and Esc: closes, the file untouched.
    void Cancel() { view_.Close(); }

private:
    // What the model holds, in every cell and the slider.
    void ShowAll();

    TPaletteEditorView &view_;
    TPaletteEditorModel model_;
};
