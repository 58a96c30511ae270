// The session interface's exports that need no session: checks of port and
// record names and the description of a slot's bytes, made before (or
// instead of) talking to a decoder. Their failures go to the calling thread's
// message, as velk_open's do; nothing thrown crosses this boundary.
#include "velklink.h"

#include "CPort.h"
#include "CPortRemoteName.h"
#include "velkcodepage.h"
#include "velkerror.h"
#include "velkimagetransport.h"
#include "velkmemorymap.h"
#include "velkrecord.h"
#include "velksession.h"
#include "velksessionexports.h"
#include "velksessionfailure.h"
#include "velksessionnames.h"
#include "velkslotinfo.h"

#include <cstring>
#include <span>

namespace {

// Runs work, its TSessionFailure (or any other exception) as the thread's
// failure, VELK_OK as none.
template <typename F> velk_result Offline(velk_result otherwise, F &&work) noexcept {
    try {
        work();
        return ThreadResult(VELK_OK);
    } catch (const TSessionFailure &failure) {
        try {
            return ThreadResult(failure.Code(), failure.what());
        } catch (...) {
            return failure.Code();
        }
    } catch (const EVelk &error) {
        try {
            return ThreadResult(otherwise, Cp1252ToUtf8(error.Message()));
        } catch (...) {
            return otherwise;
        }
    } catch (const std::exception &error) {
        try {
            return ThreadResult(otherwise, error.what());
        } catch (...) {
            return otherwise;
        }
    }
}

// A port name in Windows-1252, as the port component takes it.
std::string PortName(const char *port) {
    return SessionName(port, "port", 0);
}

} // namespace

extern "C" {

VELK_EXPORT velk_result VELK_CALL velk_check_port_name(const char *port, velk_port_name *name) {
    return Offline(VELK_ERR_ARGUMENT, [&] {
        const std::optional<TRemoteName> remote = ParseRemoteName(PortName(port));
        if (remote && !remote->Error.empty())
            throw TSessionFailure(VELK_ERR_ARGUMENT, Cp1252ToUtf8(remote->Error));
        if (name == nullptr)
            return;
        velk_port_name found{};
        if (remote) {
            const std::string host = Cp1252ToUtf8(remote->Host);
            if (host.size() >= sizeof found.host)
                throw TSessionFailure(VELK_ERR_ARGUMENT, "port: the host of \"" + Cp1252ToUtf8(PortName(port)) +
                                                             "\" has more than " + Decimal(sizeof found.host - 1) +
                                                             " bytes");
            found.remote = 1;
            found.tcp_port = remote->Port;
            CopyName(found.host, host);
        }
        *name = found;
    });
}

VELK_EXPORT velk_result VELK_CALL velk_device_path(const char *port, char *buffer, uint32_t capacity,
                                                   uint32_t *length) {
    return Offline(VELK_ERR_ARGUMENT, [&] {
        const std::string path = Cp1252ToUtf8(TCustomComPort::DevicePath(PortName(port)));
        if (buffer != nullptr && path.size() >= capacity)
            throw TSessionFailure(VELK_ERR_ARGUMENT, "the path \"" + path + "\" takes " + Decimal(path.size() + 1) +
                                                         " bytes, the buffer holds " + Decimal(capacity));
        if (buffer != nullptr)
            std::memcpy(buffer, path.c_str(), path.size() + 1);
        if (length != nullptr)
            *length = static_cast<uint32_t>(path.size());
    });
}

VELK_EXPORT velk_result VELK_CALL velk_stored_length(const char *text, uint32_t *length) {
    return Offline(VELK_ERR_ARGUMENT, [&] {
        if (length == nullptr)
            throw TSessionFailure(VELK_ERR_ARGUMENT, "velk_stored_length: no place for the length");
        if (text == nullptr)
            throw TSessionFailure(VELK_ERR_ARGUMENT, "text: none given");
        const std::string stored = StoredText(text, "");
        *length = static_cast<uint32_t>(stored.size());
    });
}

VELK_EXPORT velk_result VELK_CALL velk_describe_slot(const void *image, uint32_t length, velk_slot_info *info) {
    return Offline(VELK_ERR_ARGUMENT, [&] {
        if (image == nullptr || info == nullptr)
            throw TSessionFailure(VELK_ERR_ARGUMENT, "velk_describe_slot: no bytes or no place for the description");
        if (length != kRecordSlotSize)
            throw TSessionFailure(VELK_ERR_ARGUMENT, "a slot image of " + Decimal(length) + " bytes: a slot holds " +
                                                         Decimal(kRecordSlotSize));
        TImageTransport transport(std::span(static_cast<const uint8_t *>(image), length), 0);
        velk_Record record(0);
        record.Load(transport, true);
        *info = DescribeRecord(record);
    });
}

} // extern "C"
