// frmPalette: the palette editor. It shows the 16 entries of a palette file as
// a 4 x 4 grid of owner-drawn colour cells with tool tips, edits the selected
// entry's colour (double click, the colour dialog) and alpha (the track bar
// "Alpha"), and writes the 64 entry bytes back on "&Ok", keeping every byte of
// the file after them. Enter presses "&Ok", Esc "&Cancel".
#pragma once

#include "PaletteEditorPresenter.h"
#include "WinWindow.h"

#include <array>
#include <filesystem>
#include <string>

class frmPalette final : public TWinWindow, public TPaletteEditorView {
public:
    // Creates the window hidden, owned by owner.
    bool Open(HWND owner);
    // Loads the file and shows the editor (see TPaletteEditorPresenter::Open).
    bool ShowForm(const std::filesystem::path &path) { return presenter_.Open(path); }

    // TPaletteEditorView
    void ShowCell(int entry, const TPaletteCell &cell) override;
    void ShowAlpha(int value) override;
    std::optional<TRgb> ChooseColor(TRgb start) override;
    void Warn(const std::string &utf8) override;
    void Present() override;
    void Close() override { Destroy(); }

private:
    void Build() override;
    void Layout() override;
    LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam) override;
    void DrawCell(const DRAWITEMSTRUCT &item) const;

    TPaletteEditorPresenter presenter_{*this};
    HWND tips_ = nullptr;
    // The cells' tool tips, where the tips control reads them.
    std::array<std::wstring, PaletteEntryCount> tipTexts_;
};
