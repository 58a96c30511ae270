#include "velkclasses.h"

#include "velkformat.h"

#include <algorithm>
#include <cstring>

TBuffer::TBuffer(int32_t size) {
    SetSize(size);
    count_ = 0;
}

TBuffer::TBuffer(const TBuffer &source) {
    Assign(source);
}

TBuffer &TBuffer::operator=(const TBuffer &source) {
    if (this != &source)
        Assign(source);
    return *this;
}

TBuffer::~TBuffer() = default;

void TBuffer::SetSize(int32_t n) {
    if (n < 0)
        n = 0;
    if (n != size_) {
        std::unique_ptr<uint8_t[]> fresh;
        if (n > 0) {
            fresh.reset(new uint8_t[n]);
            int32_t keep = std::min(size_, n);
            if (keep > 0)
                std::memcpy(fresh.get(), memory_.get(), keep);
        }
        memory_ = std::move(fresh);
        size_ = n;
    }
    count_ = std::clamp(count_, 0, size_);
}

void TBuffer::SetCount(int32_t n) {
    if (n > size_ || n < 0)
        throw EBuffer(Format("Il valore eccede la dimensione del buffer: %d.", n));
    count_ = n;
}

void TBuffer::Clear() {
    count_ = 0;
}

void TBuffer::Write(const void *source, int32_t n) {
    if (n <= 0)
        return;
    if (static_cast<int64_t>(count_) + n > size_)
        throw EBuffer("Spazio buffer insufficiente.");
    std::memcpy(memory_.get() + count_, source, n);
    count_ += n;
}

void TBuffer::WriteWord(uint16_t value) {
    uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    Write(bytes, 2);
}

void TBuffer::WriteLongWord(uint32_t value) {
    uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                        static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    Write(bytes, 4);
}

void TBuffer::SetData(const void *source, int32_t n) {
    if (n < 0)
        n = 0;
    // Fill fresh storage first, so a source inside this buffer stays readable.
    std::unique_ptr<uint8_t[]> fresh;
    if (n > 0) {
        fresh.reset(new uint8_t[n]);
        if (source != nullptr)
            std::memcpy(fresh.get(), source, n);
        else
            std::memset(fresh.get(), 0, n); // no source: defined zero bytes, never stale ones
    }
    memory_ = std::move(fresh);
    size_ = n;
    count_ = std::clamp(count_, 0, size_);
}

void TBuffer::Assign(const TBuffer &source) {
    if (this == &source)
        return;
    SetData(source.Memory(), source.Size());
}

void TBuffer::GetData(void *dest, int32_t n) const {
    if (n > size_)
        throw EBuffer(Format("Il contatore eccede la dimensione del buffer: %d.", n));
    if (n > 0)
        std::memcpy(dest, memory_.get(), n);
}
