// TSimMemory: what the simulated decoder keeps in its memories, the record area
// of its flash, its I2C EEPROM and the last firmware image it received.
#pragma once

#include "velkhlpacket.h"
#include "velkmemorymap.h"
#include "velksimerror.h"

#include <cstdint>
#include <span>
#include <vector>

namespace velksim {

// The decoder's memory map, under the simulator's names.
constexpr uint32_t FlashBase = kRecordAreaBase;
constexpr uint32_t SlotSize = kRecordSlotSize;
constexpr int32_t SlotCount = kRecordSlotCount;
constexpr uint32_t FlashSize = kRecordAreaSize;
constexpr uint32_t EepromSize = kEepromSize;
constexpr uint8_t Erased = 0xFF; // erased flash and EEPROM cells read 0xFF
// The largest firmware image a transfer packet can carry.
constexpr uint32_t MaxFirmware = HL_MAX_DATA;

// The flash address of a record slot.
constexpr uint32_t SlotAddress(int32_t slot) {
    return RecordSlotAddress(slot);
}

// A range [address, address + length) of a memory.
struct TSimRange {
    uint32_t address = 0;
    uint32_t length = 0;
    bool operator==(const TSimRange &) const = default;
};

// True when [address, address + length) lies inside [base, base + size).
bool RangeInside(uint32_t address, uint32_t length, uint32_t base, uint32_t size);

// Not thread-safe: the simulator guards it with its own lock. Out-of-range
// accesses raise ESimRange and change nothing.
class TSimMemory {
public:
    // Everything erased, no firmware.
    TSimMemory();

    bool FlashHolds(uint32_t address, uint32_t length) const;
    bool EepromHolds(uint32_t address, uint32_t length) const;

    std::vector<uint8_t> ReadFlash(uint32_t address, uint32_t length) const;
    void WriteFlash(uint32_t address, std::span<const uint8_t> bytes);
    std::vector<uint8_t> ReadEeprom(uint32_t address, uint32_t length) const;
    void WriteEeprom(uint32_t address, std::span<const uint8_t> bytes);

    const std::vector<uint8_t> &Flash() const { return flash_; }
    const std::vector<uint8_t> &Eeprom() const { return eeprom_; }
    const std::vector<uint8_t> &Firmware() const { return firmware_; }
    void SetFlash(std::vector<uint8_t> image);
    void SetEeprom(std::vector<uint8_t> image);
    void SetFirmware(std::vector<uint8_t> image);

    void EraseFlash();
    void EraseEeprom();

private:
    std::vector<uint8_t> flash_;
    std::vector<uint8_t> eeprom_;
    std::vector<uint8_t> firmware_;
};

} // namespace velksim
