// The checksum family: one interface (Reset, Update, Calc, GetValue, SetValue)
// over 16- and 32-bit members. The link packet guards its header with TLrc16
// and its payload with TAdler32; the other members complete the family.
#pragma once

#include <cstdint>

class TCustomCrc {
public:
    virtual ~TCustomCrc();
    // Puts the starting value into the running state and returns GetValue.
    virtual uint32_t Reset() = 0;
    // Folds n bytes into the running state (so several calls checksum a
    // concatenation) and returns GetValue. n <= 0 folds nothing.
    virtual uint32_t Update(const void *bytes, int32_t n) = 0;
    // Reset, then Update.
    uint32_t Calc(const void *bytes, int32_t n);
    // The checksum as callers see it (16-bit members zero-extended).
    virtual uint32_t GetValue() const = 0;
    virtual void SetValue(uint32_t v) = 0;

protected:
    // SetValue with the starting value, then GetValue: the body of every Reset.
    uint32_t ResetTo(uint32_t start) {
        SetValue(start);
        return GetValue();
    }
};

class TCustomCrc16 : public TCustomCrc {
public:
    uint32_t Reset() override { return ResetTo(0); }
    uint32_t GetValue() const override { return Value; }
    void SetValue(uint32_t v) override { Value = static_cast<uint16_t>(v); }

protected:
    constexpr explicit TCustomCrc16(uint16_t start) : Value(start) {}
    uint16_t Value;
};

class TCustomCrc32 : public TCustomCrc {
public:
    uint32_t Reset() override { return ResetTo(0); }
    uint32_t GetValue() const override { return Value; }
    void SetValue(uint32_t v) override { Value = v; }

protected:
    constexpr explicit TCustomCrc32(uint32_t start) : Value(start) {}
    uint32_t Value;
};

// Longitudinal check: the XOR of the bytes in the low byte, its complement in
// the high byte. Starts at 0xFF00.
class TLrc16 : public TCustomCrc16 {
public:
    constexpr TLrc16() : TCustomCrc16(0xFF00) {}
    uint32_t Reset() override { return ResetTo(0xFF00); }
    uint32_t Update(const void *bytes, int32_t n) override;
};

class TArcCrc16 : public TCustomCrc16 {
public:
    constexpr TArcCrc16() : TCustomCrc16(0) {}
    uint32_t Update(const void *bytes, int32_t n) override;
};

class TCcittCrc16 : public TCustomCrc16 {
public:
    constexpr TCcittCrc16() : TCustomCrc16(0xFFFF) {}
    uint32_t Reset() override { return ResetTo(0xFFFF); }
    uint32_t Update(const void *bytes, int32_t n) override;

protected:
    constexpr explicit TCcittCrc16(uint16_t start) : TCustomCrc16(start) {}
};

// TCcittCrc16 starting from 0.
class TZmodemCrc16 : public TCcittCrc16 {
public:
    constexpr TZmodemCrc16() : TCcittCrc16(0) {}
    uint32_t Reset() override { return ResetTo(0); }
};

class TIrdaCrc16 : public TCustomCrc16 {
public:
    constexpr TIrdaCrc16() : TCustomCrc16(0xFFFF) {}
    uint32_t Reset() override { return ResetTo(0xFFFF); }
    uint32_t Update(const void *bytes, int32_t n) override;
};

class TXModemCrc16 : public TCustomCrc16 {
public:
    constexpr TXModemCrc16() : TCustomCrc16(0) {}
    uint32_t Update(const void *bytes, int32_t n) override;
};

// The running state is kept inverted: SetValue stores NOT v and GetValue
// returns NOT Value, so Reset leaves 0xFFFFFFFF in Value and reports 0.
class TZipCrc32 : public TCustomCrc32 {
public:
    constexpr TZipCrc32() : TCustomCrc32(0xFFFFFFFFu) {}
    uint32_t Update(const void *bytes, int32_t n) override;
    uint32_t GetValue() const override { return ~Value; }
    void SetValue(uint32_t v) override { Value = ~v; }
};

class TJamCrc32 : public TCustomCrc32 {
public:
    constexpr TJamCrc32() : TCustomCrc32(0xFFFFFFFFu) {}
    uint32_t Reset() override { return ResetTo(0xFFFFFFFFu); }
    uint32_t Update(const void *bytes, int32_t n) override;
};

// Adler-32: sum a in the low 16 bits, sum b in the high 16 bits.
class TAdler32 : public TCustomCrc32 {
public:
    // The longest block whose unreduced sums still fit 32 bits.
    static constexpr int32_t BlockLength = 5552;

    constexpr TAdler32() : TCustomCrc32(1) {}
    uint32_t Reset() override { return ResetTo(1); }
    uint32_t Update(const void *bytes, int32_t n) override;
};

// The library-wide instances, created when the library is loaded in this order
// and destroyed when it is unloaded. Their running state is shared: use each
// from one thread at a time.
TLrc16 &Lrc16();
TArcCrc16 &ArcCrc16();
TCcittCrc16 &CcittCrc16();
TZmodemCrc16 &ZmodemCrc16();
TIrdaCrc16 &IrdaCrc16();
TXModemCrc16 &XModemCrc16();
TZipCrc32 &ZipCrc32();
TJamCrc32 &JamCrc32();
TAdler32 &Adler32();
