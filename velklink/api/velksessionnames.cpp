#include "velksessionnames.h"

#include "velkcodepage.h"
#include "velkmemorymap.h"
#include "velksessionfailure.h"

#include <algorithm>
#include <cstdio>

namespace {
bool IsControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}
} // namespace

std::string StoredText(const std::string &utf8, const std::string &lead) {
    const std::string stored = Utf8ToCp1252(utf8);
    // A character without a Windows-1252 byte comes back as '?', and so does
    // text that is not UTF-8: the round trip tells both.
    if (Cp1252ToUtf8(stored) != utf8)
        throw TSessionFailure(VELK_ERR_ARGUMENT,
                              lead + "\"" + Cp1252ToUtf8(stored) + "\" has characters that Windows-1252 cannot hold");
    return stored;
}

std::string SessionName(const char *utf8, const char *what, std::size_t width) {
    if (utf8 == nullptr)
        throw TSessionFailure(VELK_ERR_ARGUMENT, std::string(what) + ": none given");
    const std::string text(utf8);
    const std::string stored = StoredText(text, std::string(what) + " ");
    if (std::any_of(stored.begin(), stored.end(), [](char c) { return IsControl(static_cast<unsigned char>(c)); }))
        throw TSessionFailure(VELK_ERR_ARGUMENT, std::string(what) + ": the name holds a control character");
    if (stored.empty() || (width != 0 && stored.size() > width))
        throw TSessionFailure(VELK_ERR_ARGUMENT,
                              std::string(what) + " \"" + text + "\" must have 1 to " + Decimal(width) + " characters");
    return stored;
}

void CheckTransfer(const void *buffer, uint32_t address, uint32_t length, bool eeprom) {
    char text[160];
    if (length == 0)
        throw TSessionFailure(VELK_ERR_ARGUMENT, "a transfer of no bytes");
    if (buffer == nullptr)
        throw TSessionFailure(VELK_ERR_ARGUMENT, "no buffer for the bytes");
    if (length > 0x7FFFFFFFu) {
        std::snprintf(text, sizeof text, "a length of %u bytes: at most 2147483647 in one transfer", length);
        throw TSessionFailure(VELK_ERR_ARGUMENT, text);
    }
    const uint64_t end = uint64_t(address) + length;
    if (eeprom && end > uint64_t(kEepromSize)) {
        std::snprintf(text, sizeof text, "EEPROM 0x%04X + %u bytes: the EEPROM holds %d bytes", address, length,
                      kEepromSize);
        throw TSessionFailure(VELK_ERR_ARGUMENT, text);
    }
    if (end > uint64_t(0x100000000)) { // the first address past the 32-bit address space
        std::snprintf(text, sizeof text, "flash 0x%08X + %u bytes: past the end of the address space", address, length);
        throw TSessionFailure(VELK_ERR_ARGUMENT, text);
    }
}
