// What the session interface's exports share: running a call on a session.
#pragma once

#include "velklink.h"
#include "velksessiondecoder.h"

#include <functional>

// Runs work as a call of the session (VELK_ERR_ARGUMENT for a null session)
// and, when one of the call's callbacks closed the session, frees it after the
// call.
velk_result SessionCall(velk_session *s, const std::function<void(TSessionDecoder &decoder)> &work) noexcept;
