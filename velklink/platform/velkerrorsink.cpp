#include "velkerrorsink.h"

#include "velkdefaulterror.h"
#include "velkerror.h"
#include "velkhostcall.h"

#include <atomic>

namespace {
std::atomic<TErrorSink> g_sink{nullptr};
thread_local TErrorRoute *t_route = nullptr;
} // namespace

TErrorRoute::TErrorRoute(std::function<void(const std::string &text)> route)
    : route_(std::move(route)), previous_(t_route) {
    t_route = this;
}

TErrorRoute::~TErrorRoute() {
    t_route = previous_;
}

TErrorSink SetErrorSink(TErrorSink sink) {
    return g_sink.exchange(sink);
}

bool RunReportingErrors(const std::function<void()> &work) noexcept {
    try {
        work();
        return true;
    } catch (const EVelk &e) {
        ReportError(e.Message());
    } catch (const std::exception &e) {
        ReportError(e.what());
    } catch (...) {
        ReportError("Errore sconosciuto.");
    }
    return false;
}

void ReportError(const std::string &text) {
    if (t_route != nullptr) {
        t_route->route_(text);
        return;
    }
    if (TErrorSink sink = g_sink.load()) {
        const THostCall call;
        sink(text.c_str());
        return;
    }
    ShowDefaultError(text);
}
