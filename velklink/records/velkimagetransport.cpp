#include "velkimagetransport.h"

void TImageTransport::ReadFlash(uint32_t address, int32_t length) {
    const uint64_t offset = uint64_t(address) - base_;
    ok_ = address >= base_ && length >= 0 && offset + uint64_t(length) <= image_.size();
    if (ok_)
        buffer_.SetData(image_.data() + offset, length);
}
