#include "LibraryMessages.h"

#include "velklink.h"

#include <QSocketNotifier>

// The descriptor of GetMessageHandle, watched by every Qt event loop.
struct TLibraryMessages::TWatch {
    QSocketNotifier Notifier;
    explicit TWatch(int32_t handle) : Notifier(static_cast<qintptr>(handle), QSocketNotifier::Read) {}
};

TLibraryMessages::TLibraryMessages() {
    const int32_t handle = GetMessageHandle();
    if (handle < 0)
        return;
    // The descriptor stays readable while messages wait, so a message that
    // arrives while others are handled wakes the loop again.
    watch_ = std::make_unique<TWatch>(handle);
    QObject::connect(&watch_->Notifier, &QSocketNotifier::activated, &watch_->Notifier, [] { ProcessMessages(); });
}

TLibraryMessages::~TLibraryMessages() = default;
