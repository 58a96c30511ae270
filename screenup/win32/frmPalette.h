// frmPalette: the palette editor. It shows the 16 entries of a palette file as
// a 4 x 4 grid of owner-drawn colour cells with tool tips, edits the selected
// entry's colour (double click, the colour dialog) and alpha (the track bar
// "Alpha"), and writes the 64 entry bytes back on "&Ok", keeping every byte of
// the file after them. Enter presses "&Ok", Esc "&Cancel".
#pragma once

#include "PaletteEditorModel.h"
#include "WinWindow.h"

#include <array>
#include <filesystem>
#include <string>

class frmPalette final : public TWinWindow {
public:
    // Creates the window hidden, owned by owner.
    bool Open(HWND owner);
    // Loads the file and shows the editor. A file that cannot be read is
    // refused with a message naming it; the editor then keeps what it showed.
    bool ShowForm(const std::filesystem::path &path);
    void Select(int entry);

    const TPaletteEditorModel &Model() const { return model_; }

private:
    void Build() override;
    void Layout() override;
    LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam) override;
    void DrawCell(const DRAWITEMSTRUCT &item) const;
    // Shows what the model holds in the cells, their tips and the slider.
    void Show();
    void PickColor(int entry);
    void Save();

    TPaletteEditorModel model_;
    HWND tips_ = nullptr;
    // The cells' tool tips, where the tips control reads them.
    std::array<std::wstring, PaletteEntryCount> tipTexts_;
};
