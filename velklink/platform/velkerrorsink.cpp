#include "velkerrorsink.h"

#include "velkcodepage.h"

#include <atomic>
#include <cstdio>

namespace {
std::atomic<TErrorSink> g_sink{nullptr};
}

TErrorSink SetErrorSink(TErrorSink sink) { return g_sink.exchange(sink); }

void ReportError(const std::string &text) {
    if (TErrorSink sink = g_sink.load()) {
        sink(text.c_str());
        return;
    }
    std::string line = "Error: " + Cp1252ToUtf8(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}
