// A decoder kept in memory behind the record store's transport: 30 record slots
// of flash from 0x34020000 and an 8 KiB EEPROM, with counters of every byte
// read and written and switches that make single transfers fail.
#pragma once

#include "velkrecordtransport.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class TFakeDecoder : public TRecordTransport {
public:
    static constexpr uint32_t Base = 0x34020000;
    static constexpr int32_t Slots = 30;
    static constexpr uint32_t SlotSize = 0x10000;

    struct TWrite {
        uint32_t Address;
        std::vector<uint8_t> Data;
    };

    std::vector<uint8_t> Flash = std::vector<uint8_t>(Slots * SlotSize, 0);
    std::vector<uint8_t> Eeprom = std::vector<uint8_t>(8192, 0);

    int64_t FlashBytesRead = 0;
    int64_t EepromBytesRead = 0;
    std::vector<std::pair<uint32_t, int32_t>> FlashReads;
    std::vector<TWrite> Writes;

    // Reads of this flash address fail (the engine's WaitFor returns false).
    std::optional<uint32_t> FailReadAt;
    bool FailEeprom = false;
    bool FailWrites = false;
    // Answers a read with this many bytes fewer than asked.
    int32_t ShortenReadsBy = 0;

    void ReadFlash(uint32_t address, int32_t length) override { pending_ = {0, address, length, {}}; }
    void SendFlash(const void *data, uint32_t address, int32_t length) override {
        pending_ = {2, address, length, std::vector<uint8_t>(length)};
        if (length > 0)
            std::memcpy(pending_.data.data(), data, length);
    }
    void ReadEeprom(uint32_t address, int32_t length) override { pending_ = {1, address, length, {}}; }
    TBuffer &GetBuffer() override { return buffer_; }

    bool WaitFor() override {
        const TPending op = std::move(pending_);
        pending_ = {};
        switch (op.kind) {
        case 0: {
            if (FailReadAt && *FailReadAt == op.address)
                return false;
            const int64_t at = int64_t{op.address} - Base;
            if (at < 0 || at + op.length > static_cast<int64_t>(Flash.size()))
                return false;
            FlashBytesRead += op.length;
            FlashReads.emplace_back(op.address, op.length);
            buffer_.SetData(Flash.data() + at, op.length - ShortenReadsBy);
            return true;
        }
        case 1:
            if (FailEeprom || op.address + op.length > Eeprom.size())
                return false;
            EepromBytesRead += op.length;
            buffer_.SetData(Eeprom.data() + op.address, op.length - ShortenReadsBy);
            return true;
        case 2: {
            if (FailWrites)
                return false;
            const int64_t at = int64_t{op.address} - Base;
            if (at < 0 || at + op.length > static_cast<int64_t>(Flash.size()))
                return false;
            std::memcpy(Flash.data() + at, op.data.data(), op.data.size());
            Writes.push_back({op.address, op.data});
            return true;
        }
        default:
            return true; // nothing started
        }
    }

    uint8_t *Slot(int32_t slot) { return Flash.data() + slot * SlotSize; }
    int64_t BytesRead() const { return FlashBytesRead + EepromBytesRead; }
    void ResetCounters() {
        FlashBytesRead = EepromBytesRead = 0;
        FlashReads.clear();
        Writes.clear();
    }

    // Gives slot its slot flag in the EEPROM's slot table, with slot 29 as the
    // reserved slot (so slots 0..28 use words 0..28).
    void SetSlotFlag(int32_t slot, bool flag = true) {
        Eeprom[0x1102] = 29;
        Eeprom[0x108E + 4 * slot] = flag ? 0x80 : 0x00;
    }

private:
    struct TPending {
        int kind = -1; // 0 flash read, 1 EEPROM read, 2 flash write
        uint32_t address = 0;
        int32_t length = 0;
        std::vector<uint8_t> data;
    };
    TPending pending_;
    TBuffer buffer_;
};
