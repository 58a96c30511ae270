// TBuffer: the fixed-capacity byte buffer under every packet and transmission,
// and TSemaphore: the lock that brackets the engines' entry points.
#pragma once

#include "velkerror.h"

#include <cstdint>
#include <memory>

VELK_DECLARE_EXCEPTION(EBuffer, EVelk);

// A buffer is used in one of two ways. Filled by Write (and its typed forms) it
// holds Count meaningful bytes; filled by SetData or Assign it holds Size
// meaningful bytes and Count is only clamped. It never grows by itself.
class TBuffer {
public:
    explicit TBuffer(int32_t size = 0);
    TBuffer(const TBuffer &source);
    TBuffer &operator=(const TBuffer &source);
    virtual ~TBuffer();

    int32_t Size() const { return size_; }
    int32_t Count() const { return count_; }
    uint8_t *Memory() { return memory_.get(); }
    const uint8_t *Memory() const { return memory_.get(); }

    // Reallocates to n bytes, keeping the first min(Size, n); clamps Count.
    void SetSize(int32_t n);
    void SetCount(int32_t n);
    virtual void Clear();
    uint8_t *Tail() { return memory_.get() + count_; }

    virtual void Write(const void *source, int32_t n);
    void WriteByte(uint8_t value) { Write(&value, 1); }
    // Host order (least significant byte first); swap first for the wire.
    void WriteWord(uint16_t value);
    void WriteLongWord(uint32_t value);

    // Resizes to n and copies n bytes; Count is left as it was (clamped).
    void SetData(const void *source, int32_t n);
    // SetData with the source's whole allocation, not only its Count bytes.
    void Assign(const TBuffer &source);
    // Copies the first n bytes of the storage, whatever Count is.
    void GetData(void *dest, int32_t n) const;

private:
    int32_t size_ = 0;
    std::unique_ptr<uint8_t[]> memory_;
    int32_t count_ = 0;
};

// The engines' entry-point bracket. Every entry point of an engine runs on the
// library's owning thread (port notices and timer expiries are handed to it as
// messages), so the bracket itself needs no lock: Acquire and Release do
// nothing and the same thread may enter again while inside, as link events
// nesting inside transfer events and starting operations do.
class TSemaphore {
public:
    void Acquire() {}
    void Release() {}
    // For std::lock_guard.
    void lock() { Acquire(); }
    void unlock() { Release(); }
};
