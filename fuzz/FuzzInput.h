// TInput: a fuzz target's input read front to back as bytes, big-endian words
// and runs of bytes; past the end every byte reads 0.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

class TInput {
public:
    TInput(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    bool More() const { return at_ < size_; }
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint16_t Word() { return uint16_t(Byte() << 8 | Byte()); }
    uint32_t Long() { return uint32_t(Word()) << 16 | Word(); }
    // Up to n bytes from here; n becomes the number there were.
    const uint8_t *Take(size_t &n) {
        n = std::min(n, size_ - at_);
        const uint8_t *start = data_ + at_;
        at_ += n;
        return start;
    }

private:
    const uint8_t *data_;
    size_t size_;
    size_t at_ = 0;
};
