// Scans over the padded key bytes of index tags, eight bytes at a time: the tag build and
// every key comparison use them, and most keys of a wide character field are mostly pad.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Length of a padded key without its trailing pad bytes.
inline uint32_t TrimmedLength(const char* key, size_t n, char pad)
{
    uint64_t pads;
    std::memset(&pads, pad, sizeof pads);
    while (n >= 8) {
        uint64_t word;
        std::memcpy(&word, key + n - 8, 8);
        if (word != pads)
            break;
        n -= 8;
    }
    while (n > 0 && key[n - 1] == pad)
        --n;
    return uint32_t(n);
}

// Bytes two keys share from their start, at most n.
inline uint32_t CommonPrefix(const char* a, const char* b, uint32_t n)
{
    uint32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x != y) {
            if constexpr (std::endian::native == std::endian::little)
                return i + uint32_t(std::countr_zero(x ^ y) / 8);
            else
                return i + uint32_t(std::countl_zero(x ^ y) / 8);
        }
    }
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}
