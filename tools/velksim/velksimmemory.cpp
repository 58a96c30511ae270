#include "velksimmemory.h"

#include "velkformat.h"

#include <algorithm>

namespace velksim {

bool RangeInside(uint32_t address, uint32_t length, uint32_t base, uint32_t size) {
    if (address < base)
        return false;
    uint64_t offset = uint64_t(address) - base;
    return offset <= size && uint64_t(length) <= size - offset;
}

namespace {

void CheckRange(bool inside, const char *memory, uint32_t address, uint32_t length) {
    if (!inside)
        throw ESimRange(Format("%s range 0x%8.8x, %u bytes, is outside the decoder's memory", memory, address, length));
}

void CheckImage(const std::vector<uint8_t> &image, uint32_t size, const char *memory) {
    if (image.size() != size)
        throw ESimRange(Format("%s image of %u bytes; the decoder's holds %u", memory, uint32_t(image.size()), size));
}

} // namespace

TSimMemory::TSimMemory() : flash_(FlashSize, Erased), eeprom_(EepromSize, Erased) {}

bool TSimMemory::FlashHolds(uint32_t address, uint32_t length) const {
    return RangeInside(address, length, FlashBase, FlashSize);
}

bool TSimMemory::EepromHolds(uint32_t address, uint32_t length) const {
    return RangeInside(address, length, 0, EepromSize);
}

std::vector<uint8_t> TSimMemory::ReadFlash(uint32_t address, uint32_t length) const {
    CheckRange(FlashHolds(address, length), "Flash", address, length);
    auto first = flash_.begin() + (address - FlashBase);
    return {first, first + length};
}

void TSimMemory::WriteFlash(uint32_t address, std::span<const uint8_t> bytes) {
    CheckRange(FlashHolds(address, uint32_t(bytes.size())), "Flash", address, uint32_t(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), flash_.begin() + (address - FlashBase));
}

std::vector<uint8_t> TSimMemory::ReadEeprom(uint32_t address, uint32_t length) const {
    CheckRange(EepromHolds(address, length), "EEPROM", address, length);
    return {eeprom_.begin() + address, eeprom_.begin() + address + length};
}

void TSimMemory::WriteEeprom(uint32_t address, std::span<const uint8_t> bytes) {
    CheckRange(EepromHolds(address, uint32_t(bytes.size())), "EEPROM", address, uint32_t(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), eeprom_.begin() + address);
}

void TSimMemory::SetFlash(std::vector<uint8_t> image) {
    CheckImage(image, FlashSize, "Flash");
    flash_ = std::move(image);
}

void TSimMemory::SetEeprom(std::vector<uint8_t> image) {
    CheckImage(image, EepromSize, "EEPROM");
    eeprom_ = std::move(image);
}

void TSimMemory::SetFirmware(std::vector<uint8_t> image) {
    if (image.size() > MaxFirmware)
        throw ESimRange(
            Format("Firmware image of %u bytes; at most %u fit a transfer", uint32_t(image.size()), MaxFirmware));
    firmware_ = std::move(image);
}

void TSimMemory::EraseFlash() {
    std::fill(flash_.begin(), flash_.end(), Erased);
}

void TSimMemory::EraseEeprom() {
    std::fill(eeprom_.begin(), eeprom_.end(), Erased);
}

} // namespace velksim
