// The connection of a remote port on Linux: a non-blocking TCP socket.
#include "CPortSocket.h"

#include "CPortError.h"
#include "velkdescriptor.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

struct TPortSocket::TImpl {
    TDescriptor socket;
};

namespace {

using Clock = std::chrono::steady_clock;

struct TAddresses {
    addrinfo *list = nullptr;
    ~TAddresses() {
        if (list != nullptr)
            ::freeaddrinfo(list);
    }
};

// A name lookup of the system's resolver, which has no time limit of its own,
// run on a thread of its own so that the caller waits only as long as it may.
struct TLookup {
    std::string host, port;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    int status = 0;
    addrinfo *result = nullptr;
    ~TLookup() {
        if (result != nullptr)
            ::freeaddrinfo(result);
    }
};

// Lookups that outlived their caller's limit. Each ends by itself within the
// resolver's own time-outs; they are joined when the library is unloaded.
class TStragglers {
public:
    void Keep(std::thread thread) {
        std::lock_guard lock(mutex_);
        threads_.push_back(std::move(thread));
    }
    ~TStragglers() {
        for (std::thread &thread : threads_)
            thread.join();
    }

private:
    std::mutex mutex_;
    std::vector<std::thread> threads_;
};
TStragglers stragglers;

// Looks host up within timeoutMs. A numeric address needs no lookup.
void Resolve(const TRemoteName &name, int timeoutMs, TAddresses &found) {
    const std::string port = std::to_string(name.Port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    if (::getaddrinfo(name.Host.c_str(), port.c_str(), &hints, &found.list) == 0)
        return;
    auto lookup = std::make_shared<TLookup>();
    lookup->host = name.Host;
    lookup->port = port;
    std::thread thread([lookup] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICSERV;
        addrinfo *result = nullptr;
        const int status = ::getaddrinfo(lookup->host.c_str(), lookup->port.c_str(), &hints, &result);
        std::lock_guard lock(lookup->mutex);
        lookup->status = status;
        lookup->result = result;
        lookup->done = true;
        lookup->finished.notify_all();
    });
    std::unique_lock lock(lookup->mutex);
    if (!lookup->finished.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return lookup->done; })) {
        lock.unlock();
        stragglers.Keep(std::move(thread));
        throw EComPort::WithCause(ceOpen, ETIMEDOUT, name.Address() + ": no answer from the name resolver within 5 s");
    }
    lock.unlock();
    thread.join();
    if (lookup->status != 0)
        throw EComPort::WithCause(
            ceOpen, -1, name.Address() + ": unknown host (" + std::string(::gai_strerror(lookup->status)) + ")");
    found.list = std::exchange(lookup->result, nullptr);
}

void SetOption(int fd, int level, int option, int value) {
    ::setsockopt(fd, level, option, &value, sizeof value);
}

// A connection attempt to one address within timeoutMs: the socket, or
// invalid with errno set.
TDescriptor ConnectTo(const addrinfo &address, int timeoutMs) {
    TDescriptor fd(
        ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol));
    if (!fd)
        return fd;
    if (::connect(fd.Get(), address.ai_addr, address.ai_addrlen) != 0) {
        if (errno != EINPROGRESS)
            return TDescriptor();
        pollfd p{fd.Get(), POLLOUT, 0};
        int ready;
        do
            ready = ::poll(&p, 1, timeoutMs);
        while (ready < 0 && errno == EINTR);
        if (ready == 0) {
            errno = ETIMEDOUT;
            return TDescriptor();
        }
        int error = 0;
        socklen_t size = sizeof error;
        if (ready < 0 || ::getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0)
            return TDescriptor();
        if (error != 0) {
            errno = error;
            return TDescriptor();
        }
    }
    return fd;
}

} // namespace

TPortSocket::TPortSocket(const TRemoteName &name, int timeoutMs) : impl_(std::make_unique<TImpl>()) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    TAddresses addresses;
    Resolve(name, timeoutMs, addresses);
    int error = ECONNREFUSED;
    for (const addrinfo *a = addresses.list; a != nullptr; a = a->ai_next) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            error = ETIMEDOUT;
            break;
        }
        TDescriptor fd = ConnectTo(*a, static_cast<int>(left));
        if (fd) {
            impl_->socket = std::move(fd);
            break;
        }
        error = errno;
    }
    if (!impl_->socket) {
        const std::string cause = error == ECONNREFUSED ? "connection refused"
                                  : error == ETIMEDOUT  ? "no answer within 5 s"
                                                        : std::strerror(error);
        throw EComPort::WithCause(ceOpen, error, name.Address() + ": " + cause);
    }
    const int fd = impl_->socket.Get();
    SetOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
    // A network that goes away without a word shows as a lost connection:
    // probes after 5 idle seconds, every second, given up after three; data
    // sent and not acknowledged for 5 s ends the connection too.
    SetOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
    SetOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, 5);
    SetOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, 1);
    SetOption(fd, IPPROTO_TCP, TCP_KEEPCNT, 3);
    SetOption(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, 5000);
}

TPortSocket::~TPortSocket() = default;

size_t TPortSocket::Send(const uint8_t *bytes, size_t count) {
    for (;;) {
        // MSG_NOSIGNAL: a connection that has gone is an error, not SIGPIPE.
        const ssize_t n = ::send(impl_->socket.Get(), bytes, count, MSG_NOSIGNAL);
        if (n >= 0)
            return static_cast<size_t>(n);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        const bool lost = errno == EPIPE || errno == ECONNRESET || errno == ENOTCONN;
        throw EComPort(ceWrite, lost ? LostCode() : errno);
    }
}

int64_t TPortSocket::Receive(uint8_t *bytes, size_t count, int32_t &lostCode) {
    for (;;) {
        const ssize_t n = ::recv(impl_->socket.Get(), bytes, count, 0);
        if (n > 0) {
            // Acknowledge at once: a server that sends without TCP_NODELAY
            // holds its next small segment until this end's acknowledgement,
            // which the kernel otherwise delays by up to 40 ms. The kernel
            // leaves quick mode again by itself, so it is asked after each read.
            SetOption(impl_->socket.Get(), IPPROTO_TCP, TCP_QUICKACK, 1);
            return n;
        }
        if (n == 0) {
            lostCode = LostCode();
            return kClosed;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        // A reset comes after the bytes sent before it; any error ends the line.
        lostCode = errno == ECONNRESET ? LostCode() : errno;
        return kClosed;
    }
}

bool TPortSocket::Wait(bool forWrite, int ms) {
    pollfd p{impl_->socket.Get(), static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
    int ready;
    do
        ready = ::poll(&p, 1, ms);
    while (ready < 0 && errno == EINTR);
    return ready > 0;
}

intptr_t TPortSocket::WaitHandle() const {
    return impl_->socket.Get();
}

intptr_t TPortSocket::Native() const {
    return impl_->socket.Get();
}

int32_t TPortSocket::LostCode() {
    return EIO;
}

int32_t TPortSocket::TimedOutCode() {
    return ETIMEDOUT;
}
