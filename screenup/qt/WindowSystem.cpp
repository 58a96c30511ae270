// The Qt front end's part of the shared binding.
#include "WindowSystem.h"

#include "QtText.h"
#include "UserPrompts.h"

#include <QCoreApplication>

void ProcessWindowEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void ShowErrorBox(const std::u16string &text) {
    ShowNotice(nullptr, TNotice::Error, QtText(text));
}
