// What the session interface's exports share: running a call on a session.
#pragma once

#include "velklink.h"
#include "velksessiondecoder.h"

#include <cstdint>
#include <functional>
#include <string>

// Runs work as a call of the session (VELK_ERR_ARGUMENT for a null session)
// and, when one of the call's callbacks closed the session, frees it after the
// call.
velk_result SessionCall(velk_session *s, const std::function<void(TSessionDecoder &decoder)> &work) noexcept;

// The calling thread's last failure outside a session (velk_open, the port
// listing), for velk_message(NULL) and velk_system_error(NULL); an empty
// message clears it.
void SetThreadFailure(const std::string &message, int32_t systemCode = 0) noexcept;
