// TPaletteEditorModel: the palette editor without its windows. It holds the
// file, its 16 entries and the selected one, and what each colour cell and the
// alpha slider show; the front end draws that and hands each click here.
//
// What a cell shows is rebuilt for every cell when an entry is selected. A
// picked colour shows in its cell at once, but the cell's tag and tool tip
// keep the old values until the next selection, as the editor always did.
#pragma once

#include "palettefile.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>

// What one colour cell shows.
struct TPaletteCell {
    uint8_t Red = 0;
    uint8_t Green = 0;
    uint8_t Blue = 0;
    std::string Tag;     // the entry's alpha as decimal text
    std::string ToolTip; // " rgb RRGGBB "
    bool Raised = false; // the selected cell
    bool operator==(const TPaletteCell &) const = default;
};

class TPaletteEditorModel {
public:
    // Loads the file and selects entry 0. A file that cannot be read gives the
    // refusal naming it, and the model keeps what it held.
    std::optional<std::string> Load(const std::filesystem::path &path);
    // A click on a cell.
    void Select(int entry);
    // A colour chosen for an entry in the colour dialog.
    void SetColor(int entry, uint8_t red, uint8_t green, uint8_t blue);
    // The slider moved: the selected entry's alpha.
    void SetAlpha(int value);
    // "&Ok": writes the 64 entry bytes into the file, keeping every byte after
    // them. The refusal naming the file when that failed (the editor then
    // stays open); nothing when the editor may close.
    std::optional<std::string> Save() const;

    const std::filesystem::path &File() const { return file_; }
    const TPalette &Palette() const { return palette_; }
    int Selected() const { return selected_; }
    const TPaletteCell &Cell(int entry) const { return cells_.at(static_cast<std::size_t>(entry)); }
    // The slider's position: the selected entry's alpha, at most AlphaMax.
    // Showing it is not a change of it: an alpha above the slider's range
    // stays as it is until the slider is moved.
    int SliderValue() const { return SliderAlpha(palette_.at(static_cast<std::size_t>(selected_)).Alpha); }
    static int SliderAlpha(uint8_t alpha);

private:
    std::filesystem::path file_;
    TPalette palette_{};
    int selected_ = 0;
    std::array<TPaletteCell, PaletteEntryCount> cells_{};
};
