// <windows.h> before the library's headers: see velklink.h on GetVersion.
#include <windows.h>

#include "velkdefaulterror.h"

void ShowDefaultError(const std::string &text) {
    // The texts are Windows-1252, the ANSI code page the library's messages
    // were written in.
    ::MessageBoxA(nullptr, text.c_str(), "Error", MB_OK | MB_ICONERROR | MB_TASKMODAL);
}
