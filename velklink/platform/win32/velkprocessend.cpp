// <windows.h> before the library's headers: see velklink.h on GetVersion.
#include <windows.h>

#include "velkprocessend.h"

namespace {

// ntdll's RtlDllShutdownInProgress: true while modules are told that the
// process ends (ExitProcess, or main returning), by which time the system has
// stopped every other thread without letting them finish.
using TShutdownInProgress = BOOLEAN(NTAPI *)();

TShutdownInProgress ShutdownQuery() {
    static const auto query = reinterpret_cast<TShutdownInProgress>(
        reinterpret_cast<void *>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlDllShutdownInProgress")));
    return query;
}

} // namespace

bool ProcessEnding() {
    const TShutdownInProgress query = ShutdownQuery();
    return query != nullptr && query() != FALSE;
}
