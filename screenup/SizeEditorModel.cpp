#include "SizeEditorModel.h"

#include "screenerror.h"
#include "screensettings.h"

TSizeEditorModel::TSizeEditorModel(TLoaderState &state) : state_(state), modify_(state.SizeModified) {
    for (std::size_t i = 0; i < FieldCount; ++i)
        start_[i] = std::to_string(state.SizeValues[i]);
}

std::string_view TSizeEditorModel::Label(std::size_t field) {
    return SizeValueName(field);
}

std::optional<TSizeEditorModel::TRefusal> TSizeEditorModel::Accept(const TTexts &texts) {
    std::array<int16_t, FieldCount> values{};
    for (std::size_t i = 0; i < FieldCount; ++i) {
        try {
            values[i] = static_cast<int16_t>(ParseSizeValue(texts[i], SizeValueName(i)));
        } catch (const EScreenSet &error) {
            return TRefusal{error.what(), modify_ ? std::optional<std::size_t>(i) : std::nullopt};
        }
    }
    state_.SizeModified = true;
    state_.SizeValues = values;
    return std::nullopt;
}
