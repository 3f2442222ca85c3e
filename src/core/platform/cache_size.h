#pragma once
// The size of the processor's caches, for buffers meant to stay in them.
#include <cstddef>

namespace pixhaul {

// Bytes of level-2 cache a core has, or 0 where the system does not say.
std::size_t Level2CacheBytes();

}  // namespace pixhaul
