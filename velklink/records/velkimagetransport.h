// TImageTransport: a record transport over bytes in memory instead of a
// decoder, so that the record classes can read a slot image kept in a file.
#pragma once

#include "velkclasses.h"
#include "velkrecordtransport.h"

#include <cstdint>
#include <span>

class TImageTransport : public TRecordTransport {
public:
    // image holds the flash bytes from address base on.
    TImageTransport(std::span<const uint8_t> image, uint32_t base) : image_(image), base_(base) {}

    void ReadFlash(uint32_t address, int32_t length) override;
    // The image is never written.
    void SendFlash(const void *, uint32_t, int32_t) override { ok_ = false; }
    void ReadEeprom(uint32_t, int32_t) override { ok_ = false; }
    bool WaitFor() override { return ok_; }
    TBuffer &GetBuffer() override { return buffer_; }

private:
    std::span<const uint8_t> image_;
    uint32_t base_;
    TBuffer buffer_;
    bool ok_ = true;
};
