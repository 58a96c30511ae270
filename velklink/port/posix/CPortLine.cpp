// The line settings of an open port, derived from the properties every time any
// of them changes: raw 8-bit transfer, speed, character format, parity and flow
// control through termios, DTR and RTS through the modem-control lines.
#include "CPort.h"
#include "CPortSpeed.h"

#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>

namespace {

tcflag_t CharacterSize(TDataBits bits) {
    switch (bits) {
    case dbFive:
        return CS5;
    case dbSix:
        return CS6;
    case dbSeven:
        return CS7;
    case dbEight:
        break;
    }
    return CS8;
}

// Drives one modem-control line. Devices without such lines (pseudo-terminals)
// refuse; the line settings stand without them.
void SetModemLine(int fd, int line, bool on) {
    ::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line);
}

} // namespace

void TCustomComPort::ApplyLineSettings() {
    if (device_.Remote) {
        device_.Remote->SetLine(RemoteLineSettings());
        return;
    }
    const int fd = device_.Get();
    const speed_t speed = TermiosSpeed(BitsPerSecond(baudRate_, customBaudRate_));
    if (speed == B0)
        throw EComPort(ceLineSettings, EINVAL);
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        throw EComPort(ceLineSettings, errno);

    // Binary transfer: no input or output processing, no echo, no signals.
    t.c_iflag &=
        ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK | IGNPAR | IMAXBEL);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    t.c_cflag |= CREAD | CLOCAL | CharacterSize(dataBits_);

    // Linux has no one-and-a-half stop bits; two stop bits give it with five data bits.
    if (stopBits_ != sbOneStopBit)
        t.c_cflag |= CSTOPB;
    switch (parity_.Bits()) {
    case prNone:
        break;
    case prOdd:
        t.c_cflag |= PARENB | PARODD;
        break;
    case prEven:
        t.c_cflag |= PARENB;
        break;
    case prMark:
        t.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case prSpace:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    }
    // A checked byte with a parity error arrives as 0.
    if (parity_.Check())
        t.c_iflag |= INPCK;

    if (flowControl_.OutCTSFlow() || flowControl_.ControlRTS() == rtsHandshake)
        t.c_cflag |= CRTSCTS;
    if (flowControl_.XonXoffOut())
        t.c_iflag |= IXON;
    if (flowControl_.XonXoffIn())
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = flowControl_.XonChar();
    t.c_cc[VSTOP] = flowControl_.XoffChar();
    // Reads return at once with what has arrived.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;

    if (::cfsetispeed(&t, speed) != 0 || ::cfsetospeed(&t, speed) != 0 || ::tcsetattr(fd, TCSANOW, &t) != 0)
        throw EComPort(ceLineSettings, errno);

    const TDTRFlowControl dtr = flowControl_.ControlDTR();
    SetModemLine(fd, TIOCM_DTR, dtr != dtrDisable);
    const TRTSFlowControl rts = flowControl_.ControlRTS();
    if (rts != rtsHandshake && rts != rtsToggle)
        SetModemLine(fd, TIOCM_RTS, rts == rtsEnable);
}
