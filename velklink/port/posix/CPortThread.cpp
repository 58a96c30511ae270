#include "CPortThread.h"

#include "CPort.h"
#include "CPortDevice.h"
#include "CPortSocket.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>

#include <cerrno>
#include <cstdint>

TComThread::TComThread(TCustomComPort &port)
    : port_(port), epoll_(::epoll_create1(EPOLL_CLOEXEC)), stop_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!epoll_ || !stop_)
        throw EComPort(ceOpen, errno);
    port.line_->Watch(*this);
}

void TComThread::Watch(TPortDevice &device) {
    Start(device.Get());
}

void TComThread::Watch(TPortSocket &socket) {
    Start(static_cast<int>(socket.WaitHandle()));
}

void TComThread::Start(int fd) {
    // Edge-triggered: an arrival is reported once, however long its bytes stay unread.
    epoll_event device{};
    // EPOLLRDHUP: the far end of a remote port's connection has closed it.
    device.events = EPOLLET | EPOLLRDHUP;
    if (port_.Events().Contains(evRxChar))
        device.events |= EPOLLIN;
    device.data.fd = fd;
    epoll_event stop{};
    stop.events = EPOLLIN;
    stop.data.fd = stop_.Get();
    if (::epoll_ctl(epoll_.Get(), EPOLL_CTL_ADD, device.data.fd, &device) != 0 ||
        ::epoll_ctl(epoll_.Get(), EPOLL_CTL_ADD, stop.data.fd, &stop) != 0)
        throw EComPort(ceOpen, errno);
    thread_ = std::make_unique<TWorkerThread>([this, fd] { Execute(fd); });
}

TComThread::~TComThread() {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(stop_.Get(), &one, sizeof one);
    thread_->Join();
}

void TComThread::Execute(int deviceFd) {
    const TComEvents watched = port_.Events();
    for (;;) {
        epoll_event ready[2];
        const int n = ::epoll_wait(epoll_.Get(), ready, 2, -1);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        TComEvents events;
        bool gone = false;
        for (int i = 0; i < n; ++i) {
            if (ready[i].data.fd != deviceFd)
                return; // the stop signal
            if (ready[i].events & (EPOLLHUP | EPOLLERR | EPOLLRDHUP))
                gone = true;
            if (ready[i].events & EPOLLIN)
                events.Include(evRxChar);
        }
        events = events & watched;
        if (!events.Empty())
            port_.DeliverEvents(events);
        // A device that has hung up or failed reports so for ever: the owner is
        // told once, after the bytes that came before, and the thread leaves.
        if (gone) {
            port_.DeliverLineError(EIO);
            return;
        }
    }
}
