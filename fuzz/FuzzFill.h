// FillRepeating: item data of any size for the fuzz targets, made cheaply.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Fills size bytes whose value depends on the position modulo 256 only:
// byte(i) gives the first 256, and copies of them the rest. 64 KiB of item
// data then cost a few copies instead of 65536 instrumented stores.
template <typename TByte> void FillRepeating(uint8_t *data, size_t size, TByte byte) {
    const size_t period = std::min<size_t>(size, 256);
    for (size_t i = 0; i < period; ++i)
        data[i] = byte(i);
    // Every copy starts at a multiple of 256, so the pattern runs on unbroken.
    for (size_t done = period; done < size;) {
        const size_t n = std::min(done, size - done);
        std::memcpy(data + done, data, n);
        done += n;
    }
}
