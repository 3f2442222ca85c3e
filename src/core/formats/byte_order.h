#pragma once
// Numbers stored byte by byte: little-endian, as every archive and output field but PNG's, and
// the big-endian 32-bit form PNG chunks use. Readers and writers take raw bytes, so a field may
// sit at any offset.
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

namespace pixhaul {

inline std::uint16_t LoadLE16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t LoadLE32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Stores the sizeof(T) bytes of value at `at`, lowest first; returns the byte after them.
template <typename T>
std::uint8_t* StoreLE(std::uint8_t* at, T value) {
    static_assert(std::is_integral_v<T>);
    auto bits = static_cast<std::make_unsigned_t<T>>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        *at++ = static_cast<std::uint8_t>(bits & 0xFF);
        if constexpr (sizeof(T) > 1) bits = static_cast<decltype(bits)>(bits >> 8);
    }
    return at;
}

// Appends the sizeof(T) bytes of value, lowest first.
template <typename T>
void AppendLE(std::vector<std::uint8_t>& out, T value) {
    std::uint8_t bytes[sizeof(T)];
    StoreLE(bytes, value);
    out.insert(out.end(), bytes, bytes + sizeof(T));
}

inline void StoreBE32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

}  // namespace pixhaul
