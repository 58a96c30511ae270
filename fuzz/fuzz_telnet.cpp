// Fuzzes the Telnet filter of remote ports with whatever a server may send.
// Input: one byte of flags (bit 0: the client's opening sent first), then
// pieces of a byte sequence [length][bytes] fed as separate reads. Checked:
// the filter takes any stream cut anywhere to the same data and answers, never
// gives more data or answers than the bytes it was given, and carries any data
// escaped by its own encoder through unchanged.
#include "CPortTelnet.h"
#include "FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

struct TOutcome {
    std::string data, reply;
    bool agreed, refused;
    bool operator==(const TOutcome &) const = default;
};

TOutcome Run(const std::vector<std::vector<uint8_t>> &pieces, bool opened) {
    TTelnetFilter filter;
    if (opened)
        filter.Opening();
    TOutcome out{};
    size_t fed = 0;
    for (const auto &piece : pieces) {
        filter.Receive(piece.data(), piece.size(), out.data, out.reply);
        fed += piece.size();
        // Every data byte and every answer comes from bytes received: a
        // command of three bytes owes at most one answer of three.
        VELK_FUZZ_CHECK(out.data.size() + out.reply.size() <= fed);
    }
    out.agreed = filter.ComPortAgreed();
    out.refused = filter.ComPortRefused();
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    if (size == 0)
        return 0;
    const bool opened = bytes[0] & 1;
    std::vector<std::vector<uint8_t>> pieces;
    std::vector<uint8_t> whole;
    for (size_t at = 1; at < size;) {
        const size_t length = std::min<size_t>(bytes[at], size - at - 1);
        pieces.emplace_back(bytes + at + 1, bytes + at + 1 + length);
        whole.insert(whole.end(), bytes + at + 1, bytes + at + 1 + length);
        at += 1 + length;
    }
    // The same stream cut into its pieces or taken at once.
    VELK_FUZZ_CHECK(Run(pieces, opened) == Run({whole}, opened));

    // Data escaped by the client's own encoder comes back whole, with no answer.
    std::string escaped;
    TTelnetFilter::Escape(whole.data(), whole.size(), escaped);
    std::vector<std::vector<uint8_t>> escapedPieces;
    for (size_t at = 0, i = 0; at < escaped.size(); ++i) {
        const size_t length = std::min(escaped.size() - at, i < pieces.size() ? pieces[i].size() + 1 : size_t(7));
        escapedPieces.emplace_back(escaped.begin() + at, escaped.begin() + at + length);
        at += length;
    }
    const TOutcome plain = Run(escapedPieces, opened);
    VELK_FUZZ_CHECK(plain.data == std::string(whole.begin(), whole.end()));
    VELK_FUZZ_CHECK(plain.reply.empty());
    return 0;
}
