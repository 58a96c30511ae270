// A decoder kept in memory behind the record store's transport, for the
// fuzz targets: record slots of flash (sparse, see TFuzzFlash) and the EEPROM,
// every write kept, and switches that fail writes and answer reads with fewer
// bytes than asked for.
#pragma once

#include "FuzzFlash.h"
#include "velkmemorymap.h"
#include "velkrecordtransport.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

class TFuzzTransport : public TRecordTransport {
public:
    static constexpr uint32_t Base = kRecordAreaBase;
    static constexpr uint32_t SlotSize = TFuzzFlash::SlotSize;

    // Slots that read as blank until written.
    explicit TFuzzTransport(int32_t slots = kRecordSlotCount, uint8_t blank = 0xFF) : Flash(slots, blank) {}
    explicit TFuzzTransport(TFuzzFlash flash) : Flash(std::move(flash)) {}

    TFuzzFlash Flash;
    std::vector<uint8_t> Eeprom = std::vector<uint8_t>(kEepromSize, 0);
    // Flash writes done: address and length.
    std::vector<std::pair<uint32_t, int32_t>> Writes;
    // Reads answer with this many bytes fewer than asked (never below 0).
    int32_t ShortBy = 0;
    bool FailWrites = false;

    void ReadFlash(uint32_t address, int32_t length) override { Start(0, address, length, nullptr); }
    void SendFlash(const void *data, uint32_t address, int32_t length) override { Start(2, address, length, data); }
    void ReadEeprom(uint32_t address, int32_t length) override { Start(1, address, length, nullptr); }
    TBuffer &GetBuffer() override { return buffer_; }

    bool WaitFor() override {
        const int kind = kind_;
        kind_ = -1;
        const int64_t length = length_;
        if (kind == 0) {
            const int64_t at = int64_t{address_} - Base;
            if (length < 0 || at < 0 || at + length > Flash.Size())
                return false;
            const int64_t n = std::max<int64_t>(length - ShortBy, 0);
            if (n == 0) {
                buffer_.SetData(nullptr, 0);
            } else if (at % SlotSize + n <= SlotSize) {
                buffer_.SetData(Flash.Slot(int32_t(at / SlotSize)) + at % SlotSize, int32_t(n));
            } else {
                read_.resize(size_t(n));
                Flash.Read(at, n, read_.data());
                buffer_.SetData(read_.data(), int32_t(n));
            }
            return true;
        }
        if (kind == 1) {
            const int64_t at = address_;
            if (length < 0 || at + length > int64_t(Eeprom.size()))
                return false;
            buffer_.SetData(Eeprom.data() + at, int32_t(std::max<int64_t>(length - ShortBy, 0)));
            return true;
        }
        if (kind == 2) {
            const int64_t at = int64_t{address_} - Base;
            if (FailWrites || length < 1 || at < 0 || at % SlotSize != 0 || length > SlotSize ||
                at + length > Flash.Size())
                return false;
            std::memcpy(Flash.Change(int32_t(at / SlotSize)), written_.data(), size_t(length));
            Writes.emplace_back(address_, int32_t(length));
            return true;
        }
        return true;
    }

private:
    void Start(int kind, uint32_t address, int32_t length, const void *data) {
        kind_ = kind;
        address_ = address;
        length_ = length;
        written_.clear();
        if (data != nullptr && length > 0)
            written_.assign(static_cast<const uint8_t *>(data), static_cast<const uint8_t *>(data) + length);
    }

    int kind_ = -1;
    uint32_t address_ = 0;
    int32_t length_ = 0;
    std::vector<uint8_t> written_;
    std::vector<uint8_t> read_;
    TBuffer buffer_;
};
