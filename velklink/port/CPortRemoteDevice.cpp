// TRemoteLine as the port's line, the same on every system: the port's
// settings as a server understands them, and the connection for the event
// thread to wait on.
#include "CPort.h"
#include "CPortRemote.h"
#include "CPortThread.h"

TRemoteLineSettings TRemoteLine::SettingsOf(const TCustomComPort &port) {
    const TComFlowControl &flow = port.FlowControl();
    TRemoteLineSettings settings;
    settings.BitsPerSecond = static_cast<uint32_t>(BitsPerSecond(port.BaudRate(), port.CustomBaudRate()));
    settings.DataBits = static_cast<uint8_t>(5 + port.DataBits());
    settings.Parity = port.Parity().Bits();
    settings.StopBits = port.StopBits();
    // A mix of its own is served as the nearest of the three a server knows.
    settings.Flow = flow.OutCTSFlow() || flow.ControlRTS() == rtsHandshake ? fcHardware
                    : flow.XonXoffOut() || flow.XonXoffIn()                ? fcSoftware
                                                                           : fcNone;
    settings.Dtr = flow.ControlDTR() != dtrDisable;
    settings.Rts = flow.ControlRTS() == rtsEnable;
    return settings;
}

void TRemoteLine::Apply(const TCustomComPort &port) {
    SetLine(SettingsOf(port));
}

void TRemoteLine::Watch(TComThread &thread) {
    thread.Watch(socket_);
}
