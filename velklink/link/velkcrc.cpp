#include "velkcrc.h"

#include "velkcrctable.h"

namespace {

constexpr uint32_t AdlerModulus = 65521;

// Least significant bit first.
template <typename T> T UpdateReflected(T value, const std::array<T, 256> &table, const void *bytes, int32_t n) {
    const auto *p = static_cast<const uint8_t *>(bytes);
    for (int32_t i = 0; i < n; ++i)
        value = static_cast<T>(table[(value ^ p[i]) & 0xFF] ^ (value >> 8));
    return value;
}

// Most significant bit first.
template <typename T> T UpdateNormal(T value, const std::array<T, 256> &table, const void *bytes, int32_t n) {
    constexpr int width = sizeof(T) * 8;
    const auto *p = static_cast<const uint8_t *>(bytes);
    for (int32_t i = 0; i < n; ++i)
        value = static_cast<T>(table[((value >> (width - 8)) ^ p[i]) & 0xFF] ^ static_cast<T>(value << 8));
    return value;
}

int32_t Usable(const void *bytes, int32_t n) {
    return bytes != nullptr && n > 0 ? n : 0;
}

} // namespace

TCustomCrc::~TCustomCrc() = default;

uint32_t TCustomCrc::Calc(const void *bytes, int32_t n) {
    Reset();
    return Update(bytes, n);
}

uint32_t TLrc16::Update(const void *bytes, int32_t n) {
    const auto *p = static_cast<const uint8_t *>(bytes);
    uint8_t x = static_cast<uint8_t>(Value);
    for (int32_t i = 0; i < Usable(bytes, n); ++i)
        x ^= p[i];
    Value = static_cast<uint16_t>((static_cast<uint8_t>(~x) << 8) | x);
    return GetValue();
}

uint32_t TArcCrc16::Update(const void *bytes, int32_t n) {
    Value = UpdateReflected(Value, ArcCrc16Table, bytes, Usable(bytes, n));
    return GetValue();
}

uint32_t TCcittCrc16::Update(const void *bytes, int32_t n) {
    Value = UpdateNormal(Value, CcittCrc16Table, bytes, Usable(bytes, n));
    return GetValue();
}

uint32_t TIrdaCrc16::Update(const void *bytes, int32_t n) {
    Value = UpdateReflected(Value, IrdaCrc16Table, bytes, Usable(bytes, n));
    return GetValue();
}

uint32_t TXModemCrc16::Update(const void *bytes, int32_t n) {
    Value = UpdateReflected(Value, XModemCrc16Table, bytes, Usable(bytes, n));
    return GetValue();
}

uint32_t TZipCrc32::Update(const void *bytes, int32_t n) {
    Value = UpdateReflected(Value, ZipCrc32Table, bytes, Usable(bytes, n));
    return GetValue();
}

uint32_t TJamCrc32::Update(const void *bytes, int32_t n) {
    Value = UpdateNormal(Value, JamCrc32Table, bytes, Usable(bytes, n));
    return GetValue();
}

uint32_t TAdler32::Update(const void *bytes, int32_t n) {
    const auto *p = static_cast<const uint8_t *>(bytes);
    uint32_t a = Value & 0xFFFF;
    uint32_t b = Value >> 16;
    int32_t left = Usable(bytes, n);
    while (left > 0) {
        int32_t block = left < BlockLength ? left : BlockLength;
        for (int32_t i = 0; i < block; ++i) {
            a += p[i];
            b += a;
        }
        a %= AdlerModulus;
        b %= AdlerModulus;
        p += block;
        left -= block;
    }
    Value = (b << 16) | a;
    return GetValue();
}

// The shared instances, in their creation order. The constructors are constant
// expressions, so the instances are ready before any other code of the library
// runs, whatever the order in which translation units are initialised.
namespace {
constinit TLrc16 g_lrc16;
constinit TArcCrc16 g_arcCrc16;
constinit TCcittCrc16 g_ccittCrc16;
constinit TZmodemCrc16 g_zmodemCrc16;
constinit TIrdaCrc16 g_irdaCrc16;
constinit TXModemCrc16 g_xmodemCrc16;
constinit TZipCrc32 g_zipCrc32;
constinit TJamCrc32 g_jamCrc32;
constinit TAdler32 g_adler32;
} // namespace

TLrc16 &Lrc16() {
    return g_lrc16;
}
TArcCrc16 &ArcCrc16() {
    return g_arcCrc16;
}
TCcittCrc16 &CcittCrc16() {
    return g_ccittCrc16;
}
TZmodemCrc16 &ZmodemCrc16() {
    return g_zmodemCrc16;
}
TIrdaCrc16 &IrdaCrc16() {
    return g_irdaCrc16;
}
TXModemCrc16 &XModemCrc16() {
    return g_xmodemCrc16;
}
TZipCrc32 &ZipCrc32() {
    return g_zipCrc32;
}
TJamCrc32 &JamCrc32() {
    return g_jamCrc32;
}
TAdler32 &Adler32() {
    return g_adler32;
}
