#include "LibraryMessages.h"

#include "velklink.h"

#include <QSocketNotifier>

TLibraryMessages::TLibraryMessages() {
    const int32_t handle = GetMessageHandle();
    if (handle < 0)
        return;
    // The descriptor stays readable while messages wait, so a message that
    // arrives while others are handled wakes the loop again.
    notifier_ = std::make_unique<QSocketNotifier>(static_cast<qintptr>(handle), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [] { ProcessMessages(); });
}

TLibraryMessages::~TLibraryMessages() = default;
