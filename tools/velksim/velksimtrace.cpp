#include "velksimtrace.h"

#include "velkformat.h"

#include <cstdio>

namespace velksim {

const char *TraceArrow(TSimTraceKind kind) {
    switch (kind) {
    case TSimTraceKind::LinkIn:
    case TSimTraceKind::TransferIn:
        return "->";
    case TSimTraceKind::LinkOut:
    case TSimTraceKind::TransferOut:
        return "<-";
    case TSimTraceKind::Note:
        break;
    }
    return "--";
}

std::string TraceLine(const TSimTraceEntry &entry) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%10.3f", entry.seconds);
    return Format("%s %s %s", seconds, TraceArrow(entry.kind), entry.text);
}

TSimTrace::TSimTrace(size_t limit, TListener listener) : limit_(limit), listener_(std::move(listener)) {}

void TSimTrace::Add(TSimTraceEntry entry) {
    if (listener_)
        listener_(entry);
    std::lock_guard lock(mutex_);
    if (limit_ == 0)
        return;
    if (entries_.size() >= limit_)
        entries_.pop_front();
    entries_.push_back(std::move(entry));
}

std::vector<TSimTraceEntry> TSimTrace::Entries() const {
    std::lock_guard lock(mutex_);
    return {entries_.begin(), entries_.end()};
}

void TSimTrace::Clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

} // namespace velksim
