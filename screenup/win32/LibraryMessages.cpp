// On Windows the library's messages go to its message-only window on the
// thread that opened the port, which every message loop of that thread
// (the program's own, a message box's, a common dialog's) dispatches: there is
// nothing to watch.
#include <windows.h>

#include "LibraryMessages.h"

struct TLibraryMessages::TWatch {};

TLibraryMessages::TLibraryMessages() = default;
TLibraryMessages::~TLibraryMessages() = default;
