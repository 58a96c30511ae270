// The port's remote device, the same on every system: a port name
// rfc2217://HOST:PORT or socket://HOST:PORT opens a TRemoteLine instead of a
// serial device.
#include "CPort.h"

bool TCustomComPort::OpenRemote() {
    const std::optional<TRemoteName> remote = ParseRemoteName(port_);
    if (!remote)
        return false;
    if (!remote->Error.empty())
        throw EComPort::WithCause(ceOpen, -1, remote->Error);
    device_.Remote = std::make_unique<TRemoteLine>(*remote, RemoteLineSettings());
    StartDevice();
    return true;
}

TRemoteLineSettings TCustomComPort::RemoteLineSettings() const {
    TRemoteLineSettings settings;
    settings.BitsPerSecond = static_cast<uint32_t>(BitsPerSecond(baudRate_, customBaudRate_));
    settings.DataBits = static_cast<uint8_t>(5 + dataBits_);
    settings.Parity = parity_.Bits();
    settings.StopBits = stopBits_;
    // A mix of its own is served as the nearest of the three a server knows.
    settings.Flow = flowControl_.OutCTSFlow() || flowControl_.ControlRTS() == rtsHandshake ? fcHardware
                    : flowControl_.XonXoffOut() || flowControl_.XonXoffIn()                ? fcSoftware
                                                                                           : fcNone;
    settings.Dtr = flowControl_.ControlDTR() != dtrDisable;
    settings.Rts = flowControl_.ControlRTS() == rtsEnable;
    return settings;
}
