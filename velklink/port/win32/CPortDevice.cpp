// <windows.h> before the library's headers: see velklink.h on GetVersion.
#include <windows.h>

#include "CPortDevice.h"

#include "CPort.h"
#include "CPortThread.h"

#include <algorithm>
#include <cstdint>

namespace {

// Waits for an overlapped operation started on file: at most waitMs (INFINITE:
// no limit). Past the limit the operation is cancelled and ERROR_TIMEOUT
// results. Returns the bytes moved; throws code with the system's error.
DWORD Complete(HANDLE file, OVERLAPPED &operation, DWORD waitMs, int32_t code) {
    if (::WaitForSingleObject(operation.hEvent, waitMs) != WAIT_OBJECT_0) {
        ::CancelIoEx(file, &operation);
        DWORD moved = 0;
        ::GetOverlappedResult(file, &operation, &moved, TRUE);
        throw EComPort(code, ERROR_TIMEOUT);
    }
    // The event has come, so the operation has ended: the result is fetched
    // waiting for it, never taken as a failure for not being there yet. Some
    // systems (Wine) signal the event before the operation's status reads as
    // ended; their own wait for the result then gives the count it moved.
    DWORD moved = 0;
    if (!::GetOverlappedResult(file, &operation, &moved, TRUE))
        throw EComPort(code, static_cast<int32_t>(::GetLastError()));
    return moved;
}

} // namespace

TPortDevice::TPortDevice(const TCustomComPort &port) {
    file_.Reset(::CreateFileA(TCustomComPort::DevicePath(port.Port()).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (!file_)
        throw EComPort(ceOpen, static_cast<int32_t>(::GetLastError()));
    readDone_ = MakeEvent();
    writeDone_ = MakeEvent();
    inputTaken_.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!inputTaken_)
        throw EComPort(ceOpen, static_cast<int32_t>(::GetLastError()));
    const TComBuffer &buffer = port.Buffer();
    if (!::SetupComm(file_.Get(), static_cast<DWORD>(buffer.InputSize()), static_cast<DWORD>(buffer.OutputSize())))
        throw EComPort(ceQueueSizes, static_cast<int32_t>(::GetLastError()));
    // Reads return at once with what has arrived; writes are bounded by the
    // wait in Write, not by the driver.
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
    if (!::SetCommTimeouts(file_.Get(), &timeouts))
        throw EComPort(ceTimeouts, static_cast<int32_t>(::GetLastError()));
}

int32_t TPortDevice::ClosedCode() {
    return ERROR_INVALID_HANDLE;
}

void TPortDevice::Purge() {
    // The event thread cancels its own pending wait as it stops; reads and
    // writes complete within their calls.
    ::PurgeComm(file_.Get(),
                PURGE_RXABORT | PURGE_TXABORT | PURGE_RXCLEAR); // fails harmlessly on a device that is gone
    ::CancelIo(file_.Get());
}

void TPortDevice::Watch(TComThread &thread) {
    thread.Watch(*this);
}

int32_t TPortDevice::Write(const void *buffer, int32_t count, int64_t limitMs) {
    OVERLAPPED operation{};
    operation.hEvent = writeDone_.Get();
    ::ResetEvent(operation.hEvent);
    DWORD written = 0;
    if (!::WriteFile(file_.Get(), buffer, static_cast<DWORD>(count), &written, &operation)) {
        if (::GetLastError() != ERROR_IO_PENDING)
            throw EComPort(ceWrite, static_cast<int32_t>(::GetLastError()));
        const DWORD waitMs = limitMs > 0 ? static_cast<DWORD>(std::min<int64_t>(limitMs, 0x7FFFFFFF)) : INFINITE;
        written = Complete(file_.Get(), operation, waitMs, ceWrite);
    }
    if (written != static_cast<DWORD>(count))
        throw EComPort(ceWrite, ERROR_TIMEOUT);
    return count;
}

// The driver drops received NUL bytes itself (DCB fNull, set by Apply).
int32_t TPortDevice::Read(void *buffer, int32_t count, bool) {
    // Only what has arrived: a read of more than that would stay pending.
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(file_.Get(), &errors, &status))
        throw EComPort(ceRead, static_cast<int32_t>(::GetLastError()));
    const DWORD wanted = std::min<DWORD>(static_cast<DWORD>(count), status.cbInQue);
    if (wanted == 0)
        return 0;
    OVERLAPPED operation{};
    operation.hEvent = readDone_.Get();
    ::ResetEvent(operation.hEvent);
    DWORD got = 0;
    if (!::ReadFile(file_.Get(), buffer, wanted, &got, &operation)) {
        if (::GetLastError() != ERROR_IO_PENDING)
            throw EComPort(ceRead, static_cast<int32_t>(::GetLastError()));
        // The bytes are there: the read completes at once; the bound is only a
        // guard against a driver that says otherwise.
        got = Complete(file_.Get(), operation, 1000, ceRead);
    }
    if (got > 0)
        ::SetEvent(inputTaken_.Get());
    return static_cast<int32_t>(got);
}

int32_t TPortDevice::InputCount() {
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(file_.Get(), &errors, &status))
        throw EComPort(ceInputCount, static_cast<int32_t>(::GetLastError()));
    return static_cast<int32_t>(status.cbInQue);
}
