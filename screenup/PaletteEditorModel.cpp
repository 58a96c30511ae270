#include "PaletteEditorModel.h"

#include "ScreenupTexts.h"
#include "screenerror.h"

#include <algorithm>

std::optional<std::string> TPaletteEditorModel::Load(const std::filesystem::path &path) {
    TPalette loaded;
    try {
        loaded = LoadPalette(path);
    } catch (const EScreenSet &error) {
        return error.what();
    }
    file_ = path;
    palette_ = loaded;
    Select(0);
    return std::nullopt;
}

void TPaletteEditorModel::Select(int entry) {
    selected_ = std::clamp(entry, 0, static_cast<int>(PaletteEntryCount) - 1);
    for (std::size_t j = 0; j < PaletteEntryCount; ++j) {
        const TPaletteEntry &value = palette_[j];
        cells_[j] = {value.Red,
                     value.Green,
                     value.Blue,
                     std::to_string(value.Alpha),
                     PaletteToolTip(value),
                     static_cast<int>(j) == selected_};
    }
}

void TPaletteEditorModel::SetColor(int entry, uint8_t red, uint8_t green, uint8_t blue) {
    const auto index = static_cast<std::size_t>(entry);
    TPaletteEntry &value = palette_.at(index);
    value.Red = red;
    value.Green = green;
    value.Blue = blue;
    cells_[index].Red = red;
    cells_[index].Green = green;
    cells_[index].Blue = blue;
}

void TPaletteEditorModel::SetAlpha(int value) {
    palette_.at(static_cast<std::size_t>(selected_)).Alpha = static_cast<uint8_t>(value);
}

std::optional<std::string> TPaletteEditorModel::Save() const {
    try {
        SavePalette(file_, palette_);
    } catch (const EScreenSet &error) {
        return error.what();
    }
    return std::nullopt;
}

int TPaletteEditorModel::SliderAlpha(uint8_t alpha) {
    return std::min<int>(alpha, AlphaMax);
}
