// The modal questions of the Windows front end: message boxes, the file-open
// dialog and the colour dialog. Each runs a modal loop of its own, which
// serves the library as every loop of the window thread does.
#pragma once

#include <windows.h>

#include "UploaderOperations.h"
#include "screenresources.h"

#include <optional>
#include <string>

// A message with one OK button: caption "screenup" (no icon, or the warning
// icon), or "Error" with the error icon.
void ShowMessage(HWND owner, TNotice kind, const std::wstring &text);
// The full path of the chosen file, with the dialog's title and filter;
// nothing when the user cancelled or the dialog failed.
std::optional<std::wstring> ChooseFile(HWND owner, const TDialogInfo &dialog, const std::wstring &start);
// The chosen colour, starting from start; nothing when the user cancelled.
std::optional<COLORREF> PickColor(HWND owner, COLORREF start);
