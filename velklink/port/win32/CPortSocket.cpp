// The connection of a remote port on Windows: a non-blocking Winsock TCP
// socket whose arrivals and close set an event (WSAEventSelect), which the
// port's event thread waits on.
// <winsock2.h> before <windows.h>, and both before the library's headers: see
// velklink.h on GetVersion.
#include <winsock2.h>

#include <mstcpip.h>
#include <ws2tcpip.h>

#include <windows.h>

#include "CPortSocket.h"

#include "CPortError.h"

#include <chrono>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

int32_t LastSocketError() {
    return static_cast<int32_t>(::WSAGetLastError());
}

// The system's text of a Winsock error, one line.
std::string ErrorText(int32_t code) {
    char text[256] = {};
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                     static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    std::string s(text, n);
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == '.' || s.back() == ' '))
        s.pop_back();
    return s.empty() ? "error " + std::to_string(code) : s;
}

// Winsock for as long as a socket lives.
struct TWinsock {
    bool started = false;
    TWinsock() {
        WSADATA data{};
        started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~TWinsock() {
        if (started)
            ::WSACleanup();
    }
    TWinsock(const TWinsock &) = delete;
    TWinsock &operator=(const TWinsock &) = delete;
};

// Waits at most ms for socket to become writable (forWrite) or readable; -1
// without limit. True when ready or failed (the next call says which).
bool Select(SOCKET socket, bool forWrite, int ms) {
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(socket, &ready);
    FD_SET(socket, &failed);
    timeval limit{ms / 1000, (ms % 1000) * 1000};
    return ::select(0, forWrite ? nullptr : &ready, forWrite ? &ready : nullptr, &failed, ms < 0 ? nullptr : &limit) >
           0;
}

} // namespace

struct TPortSocket::TImpl {
    TWinsock winsock;
    SOCKET socket = INVALID_SOCKET;
    WSAEVENT event = WSA_INVALID_EVENT;
    ~TImpl() {
        if (socket != INVALID_SOCKET)
            ::closesocket(socket);
        if (event != WSA_INVALID_EVENT)
            ::WSACloseEvent(event);
    }
};

TPortSocket::TPortSocket(const TRemoteName &name, int timeoutMs) : impl_(std::make_unique<TImpl>()) {
    if (!impl_->winsock.started)
        throw EComPort::WithCause(ceOpen, LastSocketError(), name.Address() + ": no network (WSAStartup failed)");
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    // The system's resolver has no time limit of its own here: a name is
    // looked up as the system does it, an address needs no lookup.
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo *found = nullptr;
    const std::string port = std::to_string(name.Port);
    if (const int status = ::getaddrinfo(name.Host.c_str(), port.c_str(), &hints, &found); status != 0)
        throw EComPort::WithCause(ceOpen, -1, name.Address() + ": unknown host (" + ErrorText(status) + ")");
    int32_t error = WSAECONNREFUSED;
    for (const addrinfo *a = found; a != nullptr && impl_->socket == INVALID_SOCKET; a = a->ai_next) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            error = WSAETIMEDOUT;
            break;
        }
        SOCKET s = ::WSASocketW(a->ai_family, a->ai_socktype, a->ai_protocol, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
        if (s == INVALID_SOCKET) {
            error = LastSocketError();
            continue;
        }
        u_long nonBlocking = 1;
        ::ioctlsocket(s, FIONBIO, &nonBlocking);
        bool connected = ::connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0;
        if (!connected && ::WSAGetLastError() == WSAEWOULDBLOCK) {
            if (!Select(s, true, static_cast<int>(left))) {
                error = WSAETIMEDOUT;
            } else {
                int result = 0;
                int size = sizeof result;
                ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&result), &size);
                connected = result == 0;
                error = result;
            }
        } else if (!connected) {
            error = LastSocketError();
        }
        if (connected)
            impl_->socket = s;
        else
            ::closesocket(s);
    }
    ::freeaddrinfo(found);
    if (impl_->socket == INVALID_SOCKET) {
        const std::string cause = error == WSAECONNREFUSED ? "connection refused"
                                  : error == WSAETIMEDOUT  ? "no answer within 5 s"
                                                           : ErrorText(error);
        throw EComPort::WithCause(ceOpen, error, name.Address() + ": " + cause);
    }
    const SOCKET s = impl_->socket;
    BOOL on = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&on), sizeof on);
    // A network that goes away without a word shows as a lost connection:
    // probes after 5 idle seconds, every second.
    tcp_keepalive keepalive{1, 5000, 1000};
    DWORD ignored = 0;
    ::WSAIoctl(s, SIO_KEEPALIVE_VALS, &keepalive, sizeof keepalive, nullptr, 0, &ignored, nullptr, nullptr);
    // Acknowledge every segment at once: a server that sends without
    // TCP_NODELAY holds its next small segment until this end's
    // acknowledgement. Systems without the request keep their delay.
    DWORD everySegment = 1;
    ::WSAIoctl(s, SIO_TCP_SET_ACK_FREQUENCY, &everySegment, sizeof everySegment, nullptr, 0, &ignored, nullptr,
               nullptr);
    impl_->event = ::WSACreateEvent();
    if (impl_->event == WSA_INVALID_EVENT || ::WSAEventSelect(s, impl_->event, FD_READ | FD_CLOSE) != 0)
        throw EComPort::WithCause(ceOpen, LastSocketError(), name.Address() + ": " + ErrorText(LastSocketError()));
}

TPortSocket::~TPortSocket() = default;

size_t TPortSocket::Send(const uint8_t *bytes, size_t count) {
    const int chunk = static_cast<int>(count > 0x10000000 ? 0x10000000 : count);
    const int n = ::send(impl_->socket, reinterpret_cast<const char *>(bytes), chunk, 0);
    if (n >= 0)
        return static_cast<size_t>(n);
    const int32_t error = LastSocketError();
    if (error == WSAEWOULDBLOCK)
        return 0;
    const bool lost = error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAENOTCONN ||
                      error == WSAESHUTDOWN || error == WSAENETRESET;
    throw EComPort(ceWrite, lost ? LostCode() : error);
}

int64_t TPortSocket::Receive(uint8_t *bytes, size_t count, int32_t &lostCode) {
    const int chunk = static_cast<int>(count > 0x10000000 ? 0x10000000 : count);
    const int n = ::recv(impl_->socket, reinterpret_cast<char *>(bytes), chunk, 0);
    if (n > 0)
        return n;
    if (n == 0) {
        lostCode = LostCode();
        return kClosed;
    }
    const int32_t error = LastSocketError();
    if (error == WSAEWOULDBLOCK)
        return 0;
    lostCode = error == WSAECONNRESET || error == WSAECONNABORTED ? LostCode() : error;
    return kClosed;
}

bool TPortSocket::Wait(bool forWrite, int ms) {
    return Select(impl_->socket, forWrite, ms);
}

intptr_t TPortSocket::WaitHandle() const {
    return reinterpret_cast<intptr_t>(impl_->event);
}

intptr_t TPortSocket::Native() const {
    return static_cast<intptr_t>(impl_->socket);
}

int32_t TPortSocket::LostCode() {
    return WSAECONNRESET;
}

int32_t TPortSocket::TimedOutCode() {
    return ERROR_TIMEOUT;
}
