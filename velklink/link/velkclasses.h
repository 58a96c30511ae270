// TBuffer: the fixed-capacity byte buffer under every packet and transmission,
// and TOwnerThreadCheck: the check at the engines' entry points.
#pragma once

#include "velkerror.h"

#include <cassert>
#include <cstdint>
#include <memory>
#include <thread>

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
    // Least significant byte first, whatever the host's order; swap first for
    // the wire, which is big-endian.
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

// The engines' entry-point check. An engine has no thread of its own and no
// lock: every entry point runs on the thread that created it, the library's
// owning thread (port notices and timer expiries are handed to it as
// messages), and may be entered again from inside, as link events nesting in
// transfer events and in starting operations are. Builds with assertions stop
// at an entry point called from any other thread.
class TOwnerThreadCheck {
public:
    void Check() const { assert(OnOwnerThread() && "an engine entry point ran off its owning thread"); }
    bool OnOwnerThread() const { return std::this_thread::get_id() == owner_; }

private:
    std::thread::id owner_ = std::this_thread::get_id();
};
