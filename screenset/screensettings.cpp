#include "screensettings.h"

#include "screenerror.h"
#include "wholenumber.h"

#include <optional>
#include <string>

namespace {

constexpr std::array<std::string_view, 4> SizeNames = {"Orig X", "Orig Y", "Width", "Height"};

// Row whose check box each of the offsets 0..5 repeats.
constexpr std::array<std::size_t, 6> CheckOffsets = {0, 2, 1, 3, 3, 3};

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string RangeMessage(std::string_view name, std::string_view value) {
    return std::string(name) + " must be a whole number from " + std::to_string(SizeValueMin) + " to " +
           std::to_string(SizeValueMax) + ", not " + std::string(value);
}

} // namespace

std::string_view SizeValueName(std::size_t index) {
    return index < SizeNames.size() ? SizeNames[index] : std::string_view("size value");
}

void CheckSizeValues(const TSizeValues &values) {
    for (std::size_t i = 0; i < values.size(); ++i)
        if (values[i] < SizeValueMin || values[i] > SizeValueMax)
            throw EScreenSet(RangeMessage(SizeNames[i], std::to_string(values[i])));
}

int32_t ParseSizeValue(std::string_view text, std::string_view name) {
    const std::string_view trimmed = Trim(text);
    const std::optional<uint64_t> value = ParseWholeNumber(trimmed);
    if (!value || *value < uint64_t(SizeValueMin) || *value > uint64_t(SizeValueMax))
        throw EScreenSet(RangeMessage(name, trimmed.empty() ? "empty" : "\"" + std::string(trimmed) + "\""));
    return static_cast<int32_t>(*value);
}

TSizeValues ParseSizeList(std::string_view text) {
    TSizeValues values{};
    std::size_t start = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const auto comma = text.find(',', start);
        const bool last = i + 1 == values.size();
        if (last != (comma == std::string_view::npos))
            throw EScreenSet("The size needs four values X,Y,W,H, not \"" + std::string(text) + "\"");
        values[i] = ParseSizeValue(text.substr(start, last ? std::string_view::npos : comma - start), SizeNames[i]);
        start = comma + 1;
    }
    return values;
}

TSettingsItem BuildSettingsItem(const TResourceChecks &checked, const TSizeSettings &size) {
    TSettingsItem item{};
    for (std::size_t offset = 0; offset < CheckOffsets.size(); ++offset)
        item[offset] = checked[CheckOffsets[offset]] ? 1 : 0;
    if (size.Modified) {
        CheckSizeValues(size.Values);
        item[6] = 0xFF;
        for (std::size_t i = 0; i < size.Values.size(); ++i) {
            const auto value = static_cast<uint16_t>(size.Values[i]);
            item[7 + 2 * i] = static_cast<uint8_t>(value >> 8);
            item[8 + 2 * i] = static_cast<uint8_t>(value & 0xFF);
        }
    }
    return item;
}
