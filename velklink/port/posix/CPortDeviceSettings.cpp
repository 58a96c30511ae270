// The tty's line settings, derived from the port's properties every time any
// of them changes: raw 8-bit transfer, speed, character format, parity and flow
// control through termios, DTR and RTS through the modem-control lines.
#include "CPortDevice.h"

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

void TPortDevice::Apply(const TCustomComPort &port) {
    const int fd = tty_.Get();
    const TComParity &parity = port.Parity();
    const TComFlowControl &flow = port.FlowControl();
    const speed_t speed = TermiosSpeed(BitsPerSecond(port.BaudRate(), port.CustomBaudRate()));
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
    t.c_cflag |= CREAD | CLOCAL | CharacterSize(port.DataBits());

    // Linux has no one-and-a-half stop bits; two stop bits give it with five data bits.
    if (port.StopBits() != sbOneStopBit)
        t.c_cflag |= CSTOPB;
    switch (parity.Bits()) {
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
    if (parity.Check())
        t.c_iflag |= INPCK;

    if (flow.OutCTSFlow() || flow.ControlRTS() == rtsHandshake)
        t.c_cflag |= CRTSCTS;
    if (flow.XonXoffOut())
        t.c_iflag |= IXON;
    if (flow.XonXoffIn())
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = flow.XonChar();
    t.c_cc[VSTOP] = flow.XoffChar();
    // Reads return at once with what has arrived. With no time limit, poll
    // and epoll report the device readable once VMIN bytes wait (1 for 0).
    t.c_cc[VMIN] = static_cast<cc_t>(rxThreshold_ > 1 ? rxThreshold_ : 0);
    t.c_cc[VTIME] = 0;

    if (::cfsetispeed(&t, speed) != 0 || ::cfsetospeed(&t, speed) != 0 || ::tcsetattr(fd, TCSANOW, &t) != 0)
        throw EComPort(ceLineSettings, errno);

    const TDTRFlowControl dtr = flow.ControlDTR();
    SetModemLine(fd, TIOCM_DTR, dtr != dtrDisable);
    const TRTSFlowControl rts = flow.ControlRTS();
    if (rts != rtsHandshake && rts != rtsToggle)
        SetModemLine(fd, TIOCM_RTS, rts == rtsEnable);
}

void TPortDevice::SetRxThreshold(int32_t count) {
    if (count == rxThreshold_)
        return;
    // Only the count changes; the rest stays as ApplyLineSettings made it.
    termios t{};
    if (::tcgetattr(tty_.Get(), &t) != 0)
        return; // not a terminal: every arrival is noticed
    t.c_cc[VMIN] = static_cast<cc_t>(count > 1 ? count : 0);
    if (::tcsetattr(tty_.Get(), TCSANOW, &t) == 0)
        rxThreshold_ = count;
}
