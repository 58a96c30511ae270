#include "LibraryScope.h"

#include "mdlLoader.h"
#include "velklink.h"

#include <stdexcept>

namespace {
bool g_open = false;
}

void InstallLibraryHandlers() {
    SetErrorEvent(&mdlLoader::ErrorEventCallback);
    SetIdleEvent(&mdlLoader::IdleEventCallback);
}

TLibraryScope::TLibraryScope(const std::string &portName) {
    if (g_open)
        throw std::logic_error("a library scope is already open");
    g_open = true;
    InstallLibraryHandlers();
    Initialize();
    messages_ = std::make_unique<TLibraryMessages>();
    HLPSetEvent(&mdlLoader::HlpEventCallback);
    SetLogEvent(&mdlLoader::LogEventCallback);
    OpenComPort(portName.c_str());
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
