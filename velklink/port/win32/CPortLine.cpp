// The line settings of an open port, derived from the properties every time any
// of them changes: one device control block with speed, character format,
// parity, flow control, DTR and RTS.
// <windows.h> before the library's headers: see velklink.h on GetVersion.
#include <windows.h>

#include "CPort.h"

void TCustomComPort::ApplyLineSettings() {
    if (device_.Remote) {
        device_.Remote->SetLine(RemoteLineSettings());
        return;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(device_.Get(), &dcb))
        throw EComPort(ceLineSettings, static_cast<int32_t>(::GetLastError()));

    dcb.BaudRate = static_cast<DWORD>(BitsPerSecond(baudRate_, customBaudRate_));
    dcb.fBinary = TRUE;
    dcb.ByteSize = static_cast<BYTE>(5 + dataBits_);
    static constexpr BYTE stopBits[] = {ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS};
    dcb.StopBits = stopBits[stopBits_];
    static constexpr BYTE parities[] = {NOPARITY, ODDPARITY, EVENPARITY, MARKPARITY, SPACEPARITY};
    dcb.Parity = parities[parity_.Bits()];
    dcb.fParity = parity_.Check();

    static constexpr DWORD dtr[] = {DTR_CONTROL_DISABLE, DTR_CONTROL_ENABLE, DTR_CONTROL_HANDSHAKE};
    dcb.fDtrControl = dtr[flowControl_.ControlDTR()];
    static constexpr DWORD rts[] = {RTS_CONTROL_DISABLE, RTS_CONTROL_ENABLE, RTS_CONTROL_HANDSHAKE, RTS_CONTROL_TOGGLE};
    dcb.fRtsControl = rts[flowControl_.ControlRTS()];
    dcb.fOutxCtsFlow = flowControl_.OutCTSFlow();
    dcb.fOutxDsrFlow = flowControl_.OutDSRFlow();
    dcb.fDsrSensitivity = flowControl_.DSRSensitivity();
    dcb.fTXContinueOnXoff = flowControl_.TxContinueOnXoff();
    dcb.fOutX = flowControl_.XonXoffOut();
    dcb.fInX = flowControl_.XonXoffIn();
    dcb.XonChar = static_cast<char>(flowControl_.XonChar());
    dcb.XoffChar = static_cast<char>(flowControl_.XoffChar());
    // Flow control stops the far end at three quarters of the input queue and
    // lets it go on below a quarter.
    dcb.XonLim = static_cast<WORD>(buffer_.InputSize() / 4);
    dcb.XoffLim = static_cast<WORD>(buffer_.InputSize() / 4);

    dcb.fNull = discardNull_;
    dcb.EvtChar = static_cast<char>(eventChar_);
    dcb.fErrorChar = FALSE;
    dcb.fAbortOnError = FALSE;
    if (!::SetCommState(device_.Get(), &dcb))
        throw EComPort(ceLineSettings, static_cast<int32_t>(::GetLastError()));
}
