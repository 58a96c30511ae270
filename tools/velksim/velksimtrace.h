// TSimTrace: the simulator's packet trace, a bounded list of what crossed the
// line and what the decoder made of it, kept for tests and printed by the
// program's --trace.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace velksim {

enum class TSimTraceKind {
    LinkIn,      // a link packet from the PC
    LinkOut,     // a link packet (or noise) to the PC
    TransferIn,  // a request the decoder received
    TransferOut, // the decoder's answer
    Note,        // anything else: give-ups, line events, faults without a packet
};

struct TSimTraceEntry {
    double seconds = 0; // since the simulator started
    TSimTraceKind kind = TSimTraceKind::Note;
    // The link packet's type marker (LinkIn, LinkOut) or the transfer command
    // (TransferIn, TransferOut); 0 when there is none.
    uint32_t code = 0;
    bool valid = true;
    std::string text;
};

// "->" for what came from the PC, "<-" for what went to it, "--" for notes.
const char *TraceArrow(TSimTraceKind kind);
// One line: seconds, arrow and text.
std::string TraceLine(const TSimTraceEntry &entry);

// Thread-safe.
class TSimTrace {
public:
    using TListener = std::function<void(const TSimTraceEntry &)>;

    explicit TSimTrace(size_t limit, TListener listener = {});

    // Keeps the entry (dropping the oldest beyond the limit) and hands it to the
    // listener, on the calling thread.
    void Add(TSimTraceEntry entry);
    std::vector<TSimTraceEntry> Entries() const;
    void Clear();

private:
    size_t limit_;
    TListener listener_;
    mutable std::mutex mutex_;
    std::deque<TSimTraceEntry> entries_;
};

} // namespace velksim
