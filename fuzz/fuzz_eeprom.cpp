// Fuzzes the EEPROM slot table: an image of any content read from a decoder
// kept in memory (whose answer may be short), then the slot flag of every slot
// number against the mapping worked out here on its own.
//
// Input: byte 0 how many bytes short the decoder's answer is (0..255), then the
// EEPROM's bytes from offset 0 (the rest reads 0), slot words and reserved
// slot index among them.
#include "FuzzCheck.h"
#include "FuzzTransport.h"
#include "velkeeprom.h"
#include "velkmemorymap.h"

#include <algorithm>
#include <cstring>

namespace {

// Slot j uses word j below the reserved slot n and word j - 1 above it; slot n
// has no word. Bit 31 of the word (bit 7 of its first byte) is the flag.
bool ExpectedFlag(const std::vector<uint8_t> &image, int32_t slot) {
    const int32_t reserved = image[kEepromReservedSlotOffset] & 0x1F;
    if (slot < 0 || slot == reserved)
        return false;
    const int32_t word = slot < reserved ? slot : slot - 1;
    const int64_t at = kEepromSlotWordsOffset + 4 * int64_t{word};
    if (at + 4 > int64_t(image.size()))
        return false;
    return (image[size_t(at)] & 0x80) != 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0)
        return 0;
    TFuzzTransport decoder(0);
    decoder.ShortBy = data[0];
    std::memcpy(decoder.Eeprom.data(), data + 1, std::min(size - 1, decoder.Eeprom.size()));

    velk_Eeprom eeprom;
    eeprom.Fill(0x5A);
    try {
        eeprom.ReadImage(decoder);
    } catch (const EVelk &) {
        // A short answer fails the read and leaves the image as it was.
        VELK_FUZZ_CHECK(decoder.ShortBy > 0);
        for (int32_t at = 0; at < velk_Eeprom::ImageSize; ++at)
            VELK_FUZZ_CHECK(eeprom.ByteAt(at) == 0x5A);
        return 0;
    }
    VELK_FUZZ_CHECK(decoder.ShortBy == 0);
    for (int32_t at = 0; at < velk_Eeprom::ImageSize; ++at)
        VELK_FUZZ_CHECK(eeprom.ByteAt(at) == decoder.Eeprom[size_t(at)]);
    VELK_FUZZ_CHECK(eeprom.ReservedSlotIndex() == (decoder.Eeprom[kEepromReservedSlotOffset] & 0x1F));
    for (int32_t slot = -2; slot < 34; ++slot)
        VELK_FUZZ_CHECK(eeprom.SlotFlag(slot) == ExpectedFlag(decoder.Eeprom, slot));
    // Positions outside the image read as 0.
    VELK_FUZZ_CHECK(eeprom.ByteAt(-1) == 0 && eeprom.ByteAt(velk_Eeprom::ImageSize) == 0);
    VELK_FUZZ_CHECK(eeprom.WordAt(velk_Eeprom::ImageSize - 3) == 0);
    return 0;
}
