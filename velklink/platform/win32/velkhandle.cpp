// <windows.h> before the library's headers: see velklink.h on GetVersion.
#include <windows.h>

#include "velkhandle.h"

#include <system_error>

void THandle::Reset(Native handle) {
    if (Valid())
        ::CloseHandle(handle_);
    handle_ = handle;
}

THandle MakeEvent() {
    THandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event)
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), "CreateEvent");
    return event;
}
