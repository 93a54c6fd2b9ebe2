// FNV-1a fingerprints: pin exact samples, texts and files to what every architecture and platform must give.
#pragma once

#include <cstddef>
#include <cstdint>

// Extends a fingerprint by `size` bytes.
inline std::uint64_t fingerprint(std::uint64_t hash, const void* bytes, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)
        hash = (hash ^ static_cast<const std::uint8_t*>(bytes)[i]) * 0x100000001B3u;
    return hash;
}
constexpr std::uint64_t kFingerprintStart = 0xCBF29CE484222325u;
