// TSizeEditorModel: the picture size editor without its window. The "Modify"
// box enables the four fields Orig X, Orig Y, Width and Height; "oK" reads
// them and, when every one is a whole number from 0 to 32767, stores them in
// the module state and sets SizeModified there, whether or not "Modify" is
// checked (the flag then stays set for the rest of the run, and every upload
// sends the values). The fields start from the module state.
#pragma once

#include "mdlLoader.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

class TSizeEditorModel {
public:
    static constexpr std::size_t FieldCount = 4;
    using TTexts = std::array<std::string, FieldCount>;

    // A field "oK" refused: the message naming it, and the field to give the
    // keyboard to (none while the fields are disabled).
    struct TRefusal {
        std::string Message;
        std::optional<std::size_t> Focus;
    };

    explicit TSizeEditorModel(TLoaderState &state);

    // The "Modify" box, and whether the frame and its fields are enabled.
    bool Modify() const { return modify_; }
    void SetModify(bool checked) { modify_ = checked; }
    bool FieldsEnabled() const { return modify_; }
    // The fields' texts when the editor opens, and their labels.
    const TTexts &StartTexts() const { return start_; }
    static std::string_view Label(std::size_t field);

    // "oK" with the fields' texts: nothing when the values are stored (the
    // editor closes), else the first refusal (the editor stays open).
    std::optional<TRefusal> Accept(const TTexts &texts);

private:
    TLoaderState &state_;
    bool modify_;
    TTexts start_;
};
