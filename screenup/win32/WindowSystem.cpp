// The Windows front end's part of the shared binding.
#include <windows.h>

#include "WindowSystem.h"

#include "WinPrompts.h"
#include "WinText.h"

void ProcessWindowEvents() {
    // Nothing to do: while the library waits it dispatches the thread's window
    // messages itself (MsgWaitForMultipleObjects), so the windows stay alive.
}

void ShowErrorBox(const std::u16string &text) {
    ShowMessage(nullptr, TNotice::Error, Wide(text));
}
