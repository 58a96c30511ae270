#include "velkqueuesignal.h"

#include <sys/eventfd.h>

#include <cerrno>
#include <system_error>

TQueueSignal::TQueueSignal() : event_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!event_)
        throw std::system_error(errno, std::generic_category(), "eventfd");
}

void TQueueSignal::Raise() {
    uint64_t one = 1;
    if (!raised_ && ::write(event_.Get(), &one, sizeof one) == sizeof one)
        raised_ = true;
}

void TQueueSignal::Lower() {
    uint64_t value;
    if (raised_ && ::read(event_.Get(), &value, sizeof value) == sizeof value)
        raised_ = false;
}
