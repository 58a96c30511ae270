// The session interface's exported C functions: a session per handle, result
// codes, UTF-8 messages. Nothing thrown inside ever crosses this boundary.
#include "velklink.h"

#include "velkcodepage.h"
#include "velksession.h"
#include "velksessionexports.h"
#include "velksessionnames.h"

#include <new>

// The opaque handle of the C interface is the session itself.
struct velk_session : TSession {
    using TSession::TSession;
};

namespace {

// The calling thread's last velk_open failure, for velk_message(NULL).
thread_local std::string t_openMessage;
thread_local int32_t t_openSystemCode = 0;

#define VELK_TEXT(x) #x
#define VELK_VERSION_TEXT(major, minor) "Velkora Library " VELK_TEXT(major) "." VELK_TEXT(minor)
constexpr char kVersion[] = VELK_VERSION_TEXT(VELK_VERSION_MAJOR, VELK_VERSION_MINOR);

} // namespace

velk_result ThreadResult(velk_result code, const std::string &message, int32_t systemCode) {
    t_openMessage = message;
    t_openSystemCode = systemCode;
    return code;
}

velk_result SessionCall(velk_session *s, const std::function<void(TSessionDecoder &decoder)> &work) noexcept {
    if (s == nullptr)
        return VELK_ERR_ARGUMENT;
    velk_result result = VELK_ERR_PROTOCOL;
    bool closeNow = false;
    try {
        result = s->Call(work, closeNow);
    } catch (const std::exception &) {
        // Only a failure to hand the work over lands here (no memory, no
        // thread resources): the call did not run.
        return VELK_ERR_BUSY;
    }
    // A velk_close from inside one of the call's callbacks, done by the call
    // that ran them, never by one refused meanwhile. Once Call has returned,
    // the session is touched only here.
    if (closeNow)
        delete s;
    return result;
}

extern "C" {

VELK_EXPORT const char *VELK_CALL velk_version(void) {
    return kVersion;
}

VELK_EXPORT velk_result VELK_CALL velk_open(const char *port, velk_session **session) {
    if (session == nullptr) {
        t_openMessage = "velk_open: no place for the session";
        return VELK_ERR_ARGUMENT;
    }
    *session = nullptr;
    t_openSystemCode = 0;
    try {
        const std::string name = SessionName(port, "port", 0);
        *session = new velk_session(name);
        t_openMessage.clear();
        return VELK_OK;
    } catch (const TSessionFailure &failure) {
        t_openMessage = failure.what();
        t_openSystemCode = failure.SystemCode();
        return failure.Code();
    } catch (const std::exception &error) {
        t_openMessage = error.what();
        return VELK_ERR_PORT;
    }
}

VELK_EXPORT void VELK_CALL velk_close(velk_session *session) {
    if (session == nullptr)
        return;
    if (session->OnSessionThread()) {
        // From inside a callback: the running call closes it once it has returned.
        session->CloseAfterCall();
        return;
    }
    try {
        delete session;
    } catch (...) {
        // The destructor's thread join has failed: nothing more to free.
    }
}

VELK_EXPORT const char *VELK_CALL velk_message(const velk_session *session) {
    return session != nullptr ? session->Message() : t_openMessage.c_str();
}

VELK_EXPORT int32_t VELK_CALL velk_system_error(const velk_session *session) {
    return session != nullptr ? session->SystemCode() : t_openSystemCode;
}

VELK_EXPORT void VELK_CALL velk_cancel(velk_session *s) {
    if (s != nullptr)
        s->Cancel();
}

VELK_EXPORT velk_result VELK_CALL velk_set_progress(velk_session *s, velk_progress_callback callback, void *context) {
    return SessionCall(s, [&](TSessionDecoder &decoder) {
        decoder.Callbacks.Progress = callback;
        decoder.Callbacks.ProgressContext = context;
    });
}

VELK_EXPORT velk_result VELK_CALL velk_set_log(velk_session *s, velk_log_callback callback, void *context) {
    return SessionCall(s, [&](TSessionDecoder &decoder) {
        decoder.Callbacks.Log = callback;
        decoder.Callbacks.LogContext = context;
    });
}

VELK_EXPORT velk_result VELK_CALL velk_set_retry_callback(velk_session *s, velk_retry_callback callback,
                                                          void *context) {
    return SessionCall(s, [&](TSessionDecoder &decoder) {
        decoder.Callbacks.Retry = callback;
        decoder.Callbacks.RetryContext = context;
    });
}

VELK_EXPORT velk_result VELK_CALL velk_set_retries(velk_session *s, uint32_t retries) {
    return SessionCall(s, [&](TSessionDecoder &decoder) { decoder.Retries = retries; });
}

VELK_EXPORT velk_result VELK_CALL velk_sync(velk_session *s, int *already_synchronised) {
    return SessionCall(s, [&](TSessionDecoder &decoder) {
        const bool already = decoder.Sync();
        if (already_synchronised != nullptr)
            *already_synchronised = already ? 1 : 0;
    });
}

VELK_EXPORT velk_result VELK_CALL velk_read_flash(velk_session *s, uint32_t address, void *buffer, uint32_t length) {
    return SessionCall(s, [&](TSessionDecoder &decoder) {
        CheckTransfer(buffer, address, length, false);
        decoder.Read(hlsFlash, address, buffer, length);
    });
}

VELK_EXPORT velk_result VELK_CALL velk_write_flash(velk_session *s, uint32_t address, const void *data,
                                                   uint32_t length) {
    return SessionCall(s, [&](TSessionDecoder &decoder) {
        CheckTransfer(data, address, length, false);
        decoder.Write(hltFlash, address, data, length);
    });
}

VELK_EXPORT velk_result VELK_CALL velk_read_eeprom(velk_session *s, uint32_t address, void *buffer, uint32_t length) {
    return SessionCall(s, [&](TSessionDecoder &decoder) {
        CheckTransfer(buffer, address, length, true);
        decoder.Read(hlsEeprom, address, buffer, length);
    });
}

VELK_EXPORT velk_result VELK_CALL velk_write_eeprom(velk_session *s, uint32_t address, const void *data,
                                                    uint32_t length) {
    return SessionCall(s, [&](TSessionDecoder &decoder) {
        CheckTransfer(data, address, length, true);
        decoder.Write(hltEeprom, address, data, length);
    });
}

VELK_EXPORT velk_result VELK_CALL velk_upload_firmware(velk_session *s, const void *image, uint32_t length) {
    return SessionCall(s, [&](TSessionDecoder &decoder) {
        CheckTransfer(image, 0, length, false);
        decoder.Write(hltFirmware, 0, image, length);
    });
}

} // extern "C"
