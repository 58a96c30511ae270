// frmPalette: the palette editor. It shows the 16 entries of a palette file as
// a 4 x 4 grid of owner-drawn colour cells with tool tips, edits the selected
// entry's colour (double click, the colour dialog) and alpha (the track bar
// "Alpha"), and writes the 64 entry bytes back on "&Ok", keeping every byte of
// the file after them. Enter presses "&Ok", Esc "&Cancel".
#pragma once

#include "WinWindow.h"
#include "palettefile.h"

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

    std::filesystem::path FName;
    TPalette Palette{};
    int SelectedEntry = 0;

private:
    void Build() override;
    void Layout() override;
    LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam) override;
    void DrawCell(const DRAWITEMSTRUCT &item) const;
    void PickColor(int entry);
    void Save();

    HWND tips_ = nullptr;
    // What each cell shows: its colour (which a picked colour changes before
    // the entry's tip and tag are rebuilt) and its tag, the alpha as text.
    std::array<COLORREF, PaletteEntryCount> colors_{};
    std::array<std::wstring, PaletteEntryCount> tags_;
    std::array<std::wstring, PaletteEntryCount> tipTexts_;
};
