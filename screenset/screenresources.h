// The uploader's fixed tables: the six screen resources, stored as items of the
// decoder record "pictures" beside the 64-byte settings item "ini", the three
// kinds of file-choice dialog, and the uploader's own message texts.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

// The three kinds of file-choice dialog a resource row uses.
enum class TDialogKind { Picture, Palette, Panel };

// The editor a row's "Ed" button opens.
enum class TEditorKind { None, Palette, Size };

struct TDialogInfo {
    std::string_view Title;
    // The filter as the original "description|patterns" text, and its two
    // halves: the description and the patterns separated by ';'.
    std::string_view Filter;
    std::string_view Description;
    std::string_view Patterns;
};

struct TScreenResource {
    int Index;                 // 0..5, the row from top to bottom
    std::string_view Caption;  // the row's check box caption
    std::string_view ItemName; // the item in record "pictures"
    TDialogKind Dialog;
    TEditorKind Editor;
};

inline constexpr std::size_t ResourceCount = 6;

// Rows in index order: "boot", "radio", "setup", "setup lut", "bandeau", "basic lut".
const std::array<TScreenResource, ResourceCount> &ScreenResources();
const TScreenResource &ScreenResource(std::size_t index);
const TDialogInfo &DialogInfo(TDialogKind kind);

// Record and item names on the decoder.
inline constexpr std::string_view PicturesRecord = "pictures";
inline constexpr std::string_view SettingsItem = "ini";
inline constexpr std::string_view SetRecord = "SET";
inline constexpr std::string_view SetItem = "SET";
// The settings dump's file name (beside the window program).
inline constexpr std::string_view SettingsDumpFileName = "set.bin";

// Total bytes of the checked resource files (the settings item not counted).
inline constexpr long long ResourceSizeLimit = 64000;

// The uploader's messages.
inline constexpr std::string_view MsgSizeExceeded = "Size exceed limit of 64k";
inline constexpr std::string_view MsgNoSetRecord = "Record SET does not exist";
inline constexpr std::string_view MsgLoadSettingsFailed = "Error loading settings";
inline constexpr std::string_view MsgSelectLutFirst = "select a lut file first!";
inline constexpr std::string_view MsgNotYetAvailable = "Not yet available";
