#include "LibraryScope.h"

#include "mdlLoader.h"
#include "velklink.h"

#include <QFile>

#include <stdexcept>

namespace {
bool g_open = false;
}

void InstallLibraryHandlers() {
    SetErrorEvent(&mdlLoader::ErrorEventCallback);
    SetIdleEvent(&mdlLoader::IdleEventCallback);
}

TLibraryScope::TLibraryScope(const QString &portName) {
    if (g_open)
        throw std::logic_error("a library scope is already open");
    g_open = true;
    InstallLibraryHandlers();
    Initialize();
    messages_ = std::make_unique<TLibraryMessages>();
    HLPSetEvent(&mdlLoader::HlpEventCallback);
    SetLogEvent(&mdlLoader::LogEventCallback);
    // A port name is a device name or path, in the file system's encoding.
    OpenComPort(QFile::encodeName(portName).constData());
    connected_ = ComPortConnected() != 0;
}

TLibraryScope::~TLibraryScope() {
    CloseComPort();
    messages_.reset();
    Finalize();
    g_open = false;
}

bool TLibraryScope::Open() {
    return g_open;
}
