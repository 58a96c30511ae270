// What the session interface's exports share: running a call on a session.
#pragma once

#include "velklink.h"
#include "velksessiondecoder.h"

#include <functional>
#include <string>

// Runs work as a call of the session (VELK_ERR_ARGUMENT for a null session)
// and, when one of the call's callbacks closed the session, frees it after the
// call.
velk_result SessionCall(velk_session *s, const std::function<void(TSessionDecoder &decoder)> &work) noexcept;

// A failure of a call without a session (velk_open, the checks of names):
// kept for velk_message(NULL) and velk_system_error(NULL) on the calling
// thread, and returned. VELK_OK clears them.
velk_result ThreadResult(velk_result code, const std::string &message = std::string(), int32_t systemCode = 0);
