#pragma once
// Byte masks for AVX-512 loads and stores that must stop at a given length.
#include <cstdint>

namespace pixhaul {

// The first n bits set (none for n <= 0, all for n >= 64).
inline std::uint64_t FirstBits(std::int64_t n) {
    return n >= 64 ? ~std::uint64_t{0} : n <= 0 ? 0 : (std::uint64_t{1} << n) - 1;
}

}  // namespace pixhaul
