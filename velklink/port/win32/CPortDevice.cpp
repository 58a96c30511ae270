// The serial device on Windows: a communications device opened for overlapped
// I/O. Reads take only what the driver reports waiting, so they never wait;
// a write waits for its completion within the port's write time.
// <windows.h> before the library's headers: see velklink.h on GetVersion.
#include <windows.h>

#include "CPort.h"

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

void TCustomComPort::Open() {
    if (connected_ || OpenRemote())
        return;
    TPortDevice device;
    // Communications devices open exclusively: a second open fails with
    // ERROR_ACCESS_DENIED.
    device.File.Reset(::CreateFileA(DevicePath(port_).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr));
    if (!device.File)
        throw EComPort(ceOpen, static_cast<int32_t>(::GetLastError()));
    device.ReadDone = MakeEvent();
    device.WriteDone = MakeEvent();
    device.InputTaken.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!device.InputTaken)
        throw EComPort(ceOpen, static_cast<int32_t>(::GetLastError()));
    if (!::SetupComm(device.Get(), static_cast<DWORD>(buffer_.InputSize()), static_cast<DWORD>(buffer_.OutputSize())))
        throw EComPort(ceQueueSizes, static_cast<int32_t>(::GetLastError()));
    // Reads return at once with what has arrived; writes are bounded by the
    // wait in Write, not by the driver.
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
    if (!::SetCommTimeouts(device.Get(), &timeouts))
        throw EComPort(ceTimeouts, static_cast<int32_t>(::GetLastError()));
    device_ = std::move(device);
    StartDevice();
}

void TCustomComPort::Close() {
    if (!connected_)
        return;
    // The event thread cancels its own pending wait as it stops; reads and
    // writes complete within their calls.
    StopEvents();
    if (device_.Remote) {
        device_.Remote->Purge();
        ReleaseDevice();
        return;
    }
    ::PurgeComm(device_.Get(),
                PURGE_RXABORT | PURGE_TXABORT | PURGE_RXCLEAR); // fails harmlessly on a device that is gone
    ::CancelIo(device_.Get());
    ReleaseDevice();
}

void TCustomComPort::ReleaseDevice() {
    device_.Reset();
    connected_ = false;
}

int32_t TCustomComPort::Write(const void *buffer, int32_t count) {
    if (count <= 0)
        return 0;
    if (!device_)
        throw EComPort(ceWrite, ERROR_INVALID_HANDLE);
    if (device_.Remote)
        return device_.Remote->Write(buffer, count, timeouts_.WriteLimit(count));
    const int64_t limitMs = timeouts_.WriteLimit(count);
    OVERLAPPED operation{};
    operation.hEvent = device_.WriteDone.Get();
    ::ResetEvent(operation.hEvent);
    DWORD written = 0;
    if (!::WriteFile(device_.Get(), buffer, static_cast<DWORD>(count), &written, &operation)) {
        if (::GetLastError() != ERROR_IO_PENDING)
            throw EComPort(ceWrite, static_cast<int32_t>(::GetLastError()));
        const DWORD waitMs = limitMs > 0 ? static_cast<DWORD>(std::min<int64_t>(limitMs, 0x7FFFFFFF)) : INFINITE;
        written = Complete(device_.Get(), operation, waitMs, ceWrite);
    }
    if (written != static_cast<DWORD>(count))
        throw EComPort(ceWrite, ERROR_TIMEOUT);
    return count;
}

int32_t TCustomComPort::Read(void *buffer, int32_t count) {
    if (count <= 0)
        return 0;
    if (!device_)
        throw EComPort(ceRead, ERROR_INVALID_HANDLE);
    if (device_.Remote) {
        const int32_t got = device_.Remote->Read(buffer, count, discardNull_);
        NoticeBacklog();
        return got;
    }
    // Only what has arrived: a read of more than that would stay pending.
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(device_.Get(), &errors, &status))
        throw EComPort(ceRead, static_cast<int32_t>(::GetLastError()));
    const DWORD wanted = std::min<DWORD>(static_cast<DWORD>(count), status.cbInQue);
    if (wanted == 0)
        return 0;
    OVERLAPPED operation{};
    operation.hEvent = device_.ReadDone.Get();
    ::ResetEvent(operation.hEvent);
    DWORD got = 0;
    if (!::ReadFile(device_.Get(), buffer, wanted, &got, &operation)) {
        if (::GetLastError() != ERROR_IO_PENDING)
            throw EComPort(ceRead, static_cast<int32_t>(::GetLastError()));
        // The bytes are there: the read completes at once; the bound is only a
        // guard against a driver that says otherwise.
        got = Complete(device_.Get(), operation, 1000, ceRead);
    }
    if (got > 0)
        ::SetEvent(device_.InputTaken.Get());
    return static_cast<int32_t>(got);
}

int32_t TCustomComPort::InputCount() {
    if (!device_)
        throw EComPort(ceInputCount, ERROR_INVALID_HANDLE);
    if (device_.Remote) {
        const int32_t waiting = device_.Remote->InputCount();
        NoticeBacklog();
        return waiting;
    }
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(device_.Get(), &errors, &status))
        throw EComPort(ceInputCount, static_cast<int32_t>(::GetLastError()));
    return static_cast<int32_t>(status.cbInQue);
}
