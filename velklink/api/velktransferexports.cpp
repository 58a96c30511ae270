// Exports that drive the transfer engine: start an exchange, wait for it, read
// its state, error and received data.
#include "velklink.h"

#include "velkerrorbox.h"
#include "velklibrary.h"

namespace {

// Runs a starting operation on the transfer engine; false before Initialize.
template <typename Start> int32_t StartExchange(Start &&start) {
    return Guarded<int32_t>(0, [&]() -> int32_t {
        TLibrary *lib = Library();
        if (lib == nullptr)
            return 0;
        start(lib->Transfer());
        return 1;
    });
}

} // namespace

// The public header's names are the transfer engine's own numbers.
namespace {
constexpr bool Same(int publicName, int engineName) {
    return publicName == engineName;
}
} // namespace
static_assert(Same(VELK_STATE_NOT_CONNECTED, hsNotConnected));
static_assert(Same(VELK_STATE_TX_SYNC, hsTxSync));
static_assert(Same(VELK_STATE_WAIT_SYNC_ACK, hsWaitSyncAck));
static_assert(Same(VELK_STATE_IDLE, hsIdle));
static_assert(Same(VELK_STATE_TX_READ_REQUEST, hsTxReadRequest));
static_assert(Same(VELK_STATE_WAIT_DATA, hsWaitData));
static_assert(Same(VELK_STATE_TX, hsTx));
static_assert(Same(VELK_STATE_WAIT_ACK, hsWaitAck));
static_assert(Same(VELK_EVENT_READ_PACKET, hpReadPacket));
static_assert(Same(VELK_EVENT_READ_START, hpReadStart));
static_assert(Same(VELK_EVENT_WRITE_PACKET, hpWritePacket));
static_assert(Same(VELK_EVENT_WRITE_START, hpWriteStart));
static_assert(Same(VELK_ERROR_NONE, heNone));
static_assert(Same(VELK_ERROR_LINK_TIMEOUT, heLinkTimeout));
static_assert(Same(VELK_ERROR_LINK, heLinkError));
static_assert(Same(VELK_ERROR_INVALID_PACKET, heInvalidPacket));
static_assert(Same(VELK_ERROR_UNEXPECTED_PACKET, heUnexpectedPacket));
static_assert(Same(VELK_ERROR_WRITE_REFUSED, heWriteRefused));
static_assert(Same(VELK_ERROR_READ_REFUSED, heReadRefused));

extern "C" {

VELK_EXPORT int32_t VELK_CALL HLPReadFlash(uint32_t address, int32_t length) {
    return StartExchange([&](velk_HLProtocol &t) { t.ReadFlash(address, length); });
}

VELK_EXPORT int32_t VELK_CALL HLPReadEeprom(uint32_t address, int32_t length) {
    return StartExchange([&](velk_HLProtocol &t) { t.ReadEeprom(address, length); });
}

VELK_EXPORT int32_t VELK_CALL HLPSendFlash(const void *data, uint32_t address, int32_t length) {
    return StartExchange([&](velk_HLProtocol &t) { t.SendFlash(data, address, length); });
}

VELK_EXPORT int32_t VELK_CALL HLPSendEeprom(const void *data, uint32_t address, int32_t length) {
    return StartExchange([&](velk_HLProtocol &t) { t.SendEeprom(data, address, length); });
}

VELK_EXPORT int32_t VELK_CALL HLPSendFirmware(const void *data, int32_t length) {
    return StartExchange([&](velk_HLProtocol &t) { t.SendFirmware(data, length); });
}

VELK_EXPORT int32_t VELK_CALL HLPSendSync(void) {
    return StartExchange([](velk_HLProtocol &t) { t.SendSync(); });
}

VELK_EXPORT int32_t VELK_CALL HLPWaitFor(void) {
    return Guarded<int32_t>(0, []() -> int32_t {
        TLibrary *lib = Library();
        return lib != nullptr && lib->Transfer().WaitFor() ? 1 : 0;
    });
}

VELK_EXPORT int32_t VELK_CALL HLPGetState(void) {
    TLibrary *lib = Library();
    return lib != nullptr ? lib->Transfer().GetState() : 0;
}

VELK_EXPORT int32_t VELK_CALL HLPGetError(void) {
    TLibrary *lib = Library();
    return lib != nullptr ? lib->Transfer().GetError() : 0;
}

VELK_EXPORT int32_t VELK_CALL HLPGetBuffer(void *buffer) {
    return Guarded<int32_t>(0, [&]() -> int32_t {
        TLibrary *lib = Library();
        if (lib == nullptr)
            return 0;
        TBuffer &received = lib->Transfer().GetBuffer();
        if (buffer != nullptr)
            received.GetData(buffer, received.Size());
        return received.Size();
    });
}

VELK_EXPORT VELK_IdleCallback VELK_CALL SetIdleEvent(VELK_IdleCallback callback) {
    return SetIdleCallback(callback);
}

} // extern "C"
