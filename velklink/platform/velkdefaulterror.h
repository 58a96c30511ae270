// The library's error box when the host has installed no error sink: a line
// "Error: <text>" on standard error on Linux, a modal message box captioned
// "Error" on Windows. text is Windows-1252.
#pragma once

#include <string>

void ShowDefaultError(const std::string &text);
