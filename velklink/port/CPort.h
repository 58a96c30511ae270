// The serial port component: TCustomComPort wraps a serial device (a tty driven
// through termios on Linux, a Win32 communications device on Windows) with its
// settings, open and close, read, write, input count, and an event thread that
// tells the port's owner when bytes have arrived. TComPort is its published form.
// While open, the port drives one line (TPortLine), chosen at open from the
// name: the system's serial device (TPortDevice, in posix/ and win32/) or a
// line over the network (TRemoteLine).
//
// Port names on Linux: a name beginning with "/" is a device path used as it
// is; "COMn" means /dev/ttyS{n-1}; any other name means /dev/ followed by the
// name. On Windows: a name beginning with "\\" is used as it is; any other
// name NAME means \\.\NAME ("COM12" opens \\.\COM12). On both,
// rfc2217://HOST:PORT and socket://HOST:PORT reach a line over the network
// (CPortRemoteName.h); the line is then a TCP connection.
#pragma once

#include "CPortDevice.h"
#include "CPortError.h"
#include "CPortLine.h"
#include "CPortSettings.h"
#include "CPortThread.h"
#include "CPortTypes.h"
#include "velkmessagequeue.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TCustomComPort {
public:
    using TRxCharEvent = std::function<void(TCustomComPort &sender, int32_t count)>;
    using TLineErrorEvent = std::function<void(TCustomComPort &sender, const EComPort &error)>;

    // br9600, "COM1", 8 data bits, one stop bit, no parity, all ten events,
    // smThreadSync, queues of 1024 bytes, closed.
    TCustomComPort();
    // Closes the port.
    virtual ~TCustomComPort();
    TCustomComPort(const TCustomComPort &) = delete;
    TCustomComPort &operator=(const TCustomComPort &) = delete;

    bool Connected() const { return connected_; }
    // Opens or closes the port.
    void SetConnected(bool value);
    // Opens the device exclusively (another open of it, from this process or
    // another, fails with ceOpen), applies the settings and, when Events is not
    // empty, starts the event thread, which delivers to the calling thread.
    // Nothing happens when the port is already open; a failed open leaves it closed.
    void Open();
    // Stops the event thread (events handed over meanwhile are still delivered),
    // discards unread input and closes the device. Nothing happens when closed.
    void Close();

    const std::string &Port() const { return port_; }
    // Stores the name; an open port is closed and reopened with a different name.
    void SetPort(const std::string &name);
    // The device path that a port name means (a remote port's name itself).
    static std::string DevicePath(const std::string &name);

    // Writes all count bytes, waiting for room at most WriteTotalConstant +
    // count x WriteTotalMultiplier ms; ceWrite on failure or time-out (ETIMEDOUT).
    int32_t Write(const void *buffer, int32_t count);
    // Copies up to count bytes that have already arrived; never waits. ceRead on
    // failure, also when the device has hung up.
    int32_t Read(void *buffer, int32_t count);
    // Bytes waiting in the input queue; ceInputCount on failure.
    int32_t InputCount();
    // Received-data notices wait until at least count bytes (at most 255) are
    // in the input queue, so that a reader that needs the rest of a packet is
    // not woken for every few bytes of a slow line; 1, the default and the
    // value after every open, notices every arrival. Lowering it brings no
    // notice for bytes already waiting: the reader looks at InputCount after
    // setting it. A device that cannot wait for a count notices every arrival.
    void SetRxThreshold(int32_t count);

    // Bytes have arrived; count is the number waiting. Runs as SyncMethod says,
    // for smWindowSync on the thread that opened the port while it handles its
    // message queue, and only while the port is still open.
    TRxCharEvent OnRxChar;
    // The line has gone: the device hung up (the far end of a pseudo-terminal
    // closed, a USB adapter pulled out) or reported an error. error is the read
    // failure that any later use of the line would meet. Delivered once, as soon
    // as the event thread sees it, after the received-data notice of the bytes
    // that came before; runs on the owning thread like OnRxChar (for
    // smThreadSync and smWindowSync without the event thread waiting for it),
    // and only while the port is still open. The event thread ends with it. A
    // received-data notice that finds the line gone reports it here too, once.
    TLineErrorEvent OnLineError;

    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate value) { ChangeLine(baudRate_, value); }
    int32_t CustomBaudRate() const { return customBaudRate_; }
    void SetCustomBaudRate(int32_t value) { ChangeLine(customBaudRate_, value); }
    TStopBits StopBits() const { return stopBits_; }
    void SetStopBits(TStopBits value) { ChangeLine(stopBits_, value); }
    TDataBits DataBits() const { return dataBits_; }
    void SetDataBits(TDataBits value) { ChangeLine(dataBits_, value); }
    // Received NUL bytes are dropped by Read.
    bool DiscardNull() const { return discardNull_; }
    void SetDiscardNull(bool value) { ChangeLine(discardNull_, value); }
    uint8_t EventChar() const { return eventChar_; }
    void SetEventChar(uint8_t value) { ChangeLine(eventChar_, value); }
    // The events the event thread watches; takes effect at the next open. Of
    // them only evRxChar has a handler (OnRxChar).
    TComEvents Events() const { return events_; }
    void SetEvents(TComEvents value) { events_ = value; }
    TSyncMethod SyncMethod() const { return syncMethod_; }
    // ceConnected when changed on an open port.
    void SetSyncMethod(TSyncMethod value);

    TComParity &Parity() { return parity_; }
    const TComParity &Parity() const { return parity_; }
    TComFlowControl &FlowControl() { return flowControl_; }
    const TComFlowControl &FlowControl() const { return flowControl_; }
    TComTimeouts &Timeouts() { return timeouts_; }
    const TComTimeouts &Timeouts() const { return timeouts_; }
    TComBuffer &Buffer() { return buffer_; }
    const TComBuffer &Buffer() const { return buffer_; }

    // Replaces names with the system's serial ports, sorted ignoring case;
    // ceRegistry (with the system's code) when the list cannot be read.
    // Linux: the serial devices under root, a sysfs class folder (entries with a
    // "device" link, legacy UART ports without a UART left out), as "/dev/NAME".
    // Windows: the values of root, a key under HKEY_LOCAL_MACHINE ("COM3").
    static void EnumComPorts(std::vector<std::string> &names, const std::string &root = kPortListRoot);

private:
    friend class TComSettings;
    friend class TComThread;

    template <typename T> void ChangeLine(T &field, T value) {
        if (field == value)
            return;
        field = value;
        SettingsChanged(TComSettingsKind::Line);
    }
    void SettingsChanged(TComSettingsKind kind);
    // The one choice of the line's kind: a remote port's name connects (a
    // malformed name fails with its cause), any other name opens the device.
    std::unique_ptr<TPortLine> OpenLine() const;
    // After the line has opened: the line settings, then the event thread;
    // a failure releases the line again.
    void StartDevice();
    // Before the device closes: the event thread ends, its notices are delivered.
    void StopEvents();
    void ReleaseDevice();
    // Event thread: hands a set of events to the owner as SyncMethod says.
    void DeliverEvents(TComEvents events);
    // Runs the handlers of a set of events.
    void DispatchEvents(TComEvents events);
    // Event thread: the device has hung up or failed with systemCode; hands
    // OnLineError to the owner.
    void DeliverLineError(int32_t systemCode);
    // Runs OnLineError, once per open.
    void LineFailed(const EComPort &error);
    // A remote line whose last look stopped at its share with bytes left in
    // the connection: those get a received-data notice of their own, queued
    // behind the owner's waiting messages, since no new arrival may announce
    // them.
    void NoticeBacklog();

    std::string port_ = "COM1";
    TBaudRate baudRate_ = br9600;
    int32_t customBaudRate_ = 9600;
    TStopBits stopBits_ = sbOneStopBit;
    TDataBits dataBits_ = dbEight;
    bool discardNull_ = false;
    uint8_t eventChar_ = 0;
    TComEvents events_ = TComEvents::All();
    TSyncMethod syncMethod_ = smThreadSync;
    TComParity parity_{*this};
    TComFlowControl flowControl_{*this};
    TComTimeouts timeouts_{*this};
    TComBuffer buffer_{*this};

    bool connected_ = false;
    std::unique_ptr<TPortLine> line_;          // while connected
    std::unique_ptr<TMessageTarget> delivery_; // exists while the thread does, unless smNone
    // smWindowSync: the events whose notice waits for the owner (one bit per
    // TComEvent). A notice is handed over only when none of its kind waits, so
    // the event thread never waits for the owner: the handler looks at the line
    // as it is when it runs, which covers every change since its notice.
    std::atomic<uint16_t> eventsWaiting_ = 0;
    std::unique_ptr<TComThread> thread_;
    bool lineFailed_ = false;     // OnLineError has run since the open
    bool backlogNoticed_ = false; // NoticeBacklog's notice waits
};

class TComPort : public TCustomComPort {};
