#include "ctlchecks.h"

#include "ctlerror.h"
#include "ctlnumbers.h"
#include "velklink.h"

#include <algorithm>

namespace {

bool IsControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

std::string ByteCount(int64_t n) {
    return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

std::string Hex4(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

} // namespace

void CheckStoredName(const std::string &utf8, const char *what, std::size_t width) {
    // The library counts the name's Windows-1252 bytes, and refuses a
    // character without one and text that is not UTF-8.
    uint32_t stored = 0;
    if (velk_stored_length(utf8.c_str(), &stored) != VELK_OK)
        throw ECtlUsage(std::string(what) + ": \"" + utf8 +
                        "\" has characters the decoder cannot store (names are Windows-1252 text)");
    // Control characters are single bytes in UTF-8 as in Windows-1252.
    if (std::any_of(utf8.begin(), utf8.end(), [](char c) { return IsControl(static_cast<unsigned char>(c)); }))
        throw ECtlUsage(std::string(what) + ": the name holds a control character");
    if (stored == 0 || stored > width)
        throw ECtlUsage(std::string(what) + ": \"" + utf8 + "\" must have 1 to " + std::to_string(width) +
                        " characters");
}

void CheckRange(const std::string &space, uint32_t address, int64_t length, bool write) {
    const int64_t end = int64_t(address) + length;
    if (space == "eeprom") {
        if (end > kEepromSize)
            throw ECtlUsage("EEPROM " + Hex4(address) + " + " + ByteCount(length) + ": the EEPROM holds " +
                            std::to_string(kEepromSize) + " bytes (0x0000 to " + Hex4(kEepromSize - 1) +
                            "); --force sends it anyway");
        return;
    }
    if (write) {
        const bool slotStart = address >= kRecordAreaBase && address < kRecordAreaEnd &&
                               (address - kRecordAreaBase) % kRecordSlotSize == 0;
        if (!slotStart || length > kRecordSlotSize)
            throw ECtlUsage("flash " + HexAddress(address) + " + " + ByteCount(length) +
                            ": the decoder writes flash only from the start of a record slot (" +
                            HexAddress(kRecordAreaBase) + ", " + HexAddress(RecordSlotAddress(1)) + ", ... " +
                            HexAddress(RecordSlotAddress(kRecordSlotCount - 1)) + ") with 1 to " +
                            std::to_string(kRecordSlotSize) + " bytes; --force sends it anyway");
        return;
    }
    if (address < kRecordAreaBase || end > int64_t(kRecordAreaEnd))
        throw ECtlUsage("flash " + HexAddress(address) + " + " + ByteCount(length) +
                        ": the decoder reads flash only inside the record area " + HexAddress(kRecordAreaBase) +
                        " to " + HexAddress(kRecordAreaEnd - 1) + "; --force sends it anyway");
}
