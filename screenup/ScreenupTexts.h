// The window program's own texts, the same in both front ends: window
// captions, control captions (an '&' marks the mnemonic) and the captions of
// its message boxes. The uploader's messages are in screenresources.h.
#pragma once

#include <string_view>

inline constexpr std::string_view MainCaption = "Pictor2 Screen Uploader";
inline constexpr std::string_view ProgressCaption = "Progress";
inline constexpr std::string_view PaletteCaption = "Edit palette";
inline constexpr std::string_view SizeCaption = "Size";
// The uploader's notes and refusals; errors have "Error".
inline constexpr std::string_view MessageCaption = "screenup";
inline constexpr std::string_view ErrorCaption = "Error";

// Form1.
inline constexpr std::string_view LoadThemeCaption = "Load theme";
inline constexpr std::string_view UploadCaption = "Upload";
inline constexpr std::string_view SaveCaption = "save";
inline constexpr std::string_view PicturesCaption = "Pictures";
inline constexpr std::string_view DebugCaption = "Debug";
inline constexpr std::string_view BrowseCaption = "..";
inline constexpr std::string_view EditCaption = "Ed";
// The port list's first entries; the first is selected when the window opens.
inline constexpr std::string_view FixedPorts[] = {"COM1", "COM2", "COM3", "COM4"};

// frmPalette.
inline constexpr std::string_view AlphaCaption = "Alpha";
inline constexpr std::string_view PaletteOkCaption = "&Ok";
inline constexpr std::string_view PaletteCancelCaption = "&Cancel";
// The slider's range: the alpha values the decoder shows.
inline constexpr int AlphaMax = 5;

// frmSize.
inline constexpr std::string_view ModifyCaption = "Modify";
inline constexpr std::string_view SizeOkCaption = "oK";
inline constexpr std::string_view SizeCancelCaption = "Cancel";
