#pragma once
// PIXHAUL_ADDRESS_SANITIZER is defined in builds with AddressSanitizer (GCC or Clang), where memory
// of our own making (arenas, mapped buffers) gives way to heap blocks the sanitizer can watch.
#if defined(__SANITIZE_ADDRESS__)
#define PIXHAUL_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PIXHAUL_ADDRESS_SANITIZER 1
#endif
#endif
