// What the shared part of the uploader needs of the front end that draws its
// windows. Each front end (qt/, win32/) defines these functions once.
#pragma once

#include <string>

// Lets the window system handle the events waiting now (the library's idle
// callback, while it waits for the decoder).
void ProcessWindowEvents();
// A modal error box (caption "Error", the error icon, one OK button) for a
// library error that comes while no main window exists.
void ShowErrorBox(const std::u16string &text);
