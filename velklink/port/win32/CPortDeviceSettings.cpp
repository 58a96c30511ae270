// The device's line settings, derived from the port's properties every time
// any of them changes: one device control block with speed, character format,
// parity, flow control, DTR and RTS.
// <windows.h> before the library's headers: see velklink.h on GetVersion.
#include <windows.h>

#include "CPortDevice.h"

#include "CPort.h"

void TPortDevice::Apply(const TCustomComPort &port) {
    const TComParity &parity = port.Parity();
    const TComFlowControl &flow = port.FlowControl();
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(file_.Get(), &dcb))
        throw EComPort(ceLineSettings, static_cast<int32_t>(::GetLastError()));

    dcb.BaudRate = static_cast<DWORD>(BitsPerSecond(port.BaudRate(), port.CustomBaudRate()));
    dcb.fBinary = TRUE;
    dcb.ByteSize = static_cast<BYTE>(5 + port.DataBits());
    static constexpr BYTE stopBits[] = {ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS};
    dcb.StopBits = stopBits[port.StopBits()];
    static constexpr BYTE parities[] = {NOPARITY, ODDPARITY, EVENPARITY, MARKPARITY, SPACEPARITY};
    dcb.Parity = parities[parity.Bits()];
    dcb.fParity = parity.Check();

    static constexpr DWORD dtr[] = {DTR_CONTROL_DISABLE, DTR_CONTROL_ENABLE, DTR_CONTROL_HANDSHAKE};
    dcb.fDtrControl = dtr[flow.ControlDTR()];
    static constexpr DWORD rts[] = {RTS_CONTROL_DISABLE, RTS_CONTROL_ENABLE, RTS_CONTROL_HANDSHAKE, RTS_CONTROL_TOGGLE};
    dcb.fRtsControl = rts[flow.ControlRTS()];
    dcb.fOutxCtsFlow = flow.OutCTSFlow();
    dcb.fOutxDsrFlow = flow.OutDSRFlow();
    dcb.fDsrSensitivity = flow.DSRSensitivity();
    dcb.fTXContinueOnXoff = flow.TxContinueOnXoff();
    dcb.fOutX = flow.XonXoffOut();
    dcb.fInX = flow.XonXoffIn();
    dcb.XonChar = static_cast<char>(flow.XonChar());
    dcb.XoffChar = static_cast<char>(flow.XoffChar());
    // Flow control stops the far end at three quarters of the input queue and
    // lets it go on below a quarter.
    dcb.XonLim = static_cast<WORD>(port.Buffer().InputSize() / 4);
    dcb.XoffLim = static_cast<WORD>(port.Buffer().InputSize() / 4);

    dcb.fNull = port.DiscardNull();
    dcb.EvtChar = static_cast<char>(port.EventChar());
    dcb.fErrorChar = FALSE;
    dcb.fAbortOnError = FALSE;
    if (!::SetCommState(file_.Get(), &dcb))
        throw EComPort(ceLineSettings, static_cast<int32_t>(::GetLastError()));
}
