#pragma once
// g++ 12 takes the undefined pass-through operand of the unmasked AVX-512 intrinsics for a read
// of an uninitialised value. Code that uses them goes between these two.
#if defined(__GNUC__) && !defined(__clang__)
#define PIXHAUL_AVX512_CODE_BEGIN                                                        \
    _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic ignored \"-Wuninitialized\"") \
        _Pragma("GCC diagnostic ignored \"-Wmaybe-uninitialized\"")
#define PIXHAUL_AVX512_CODE_END _Pragma("GCC diagnostic pop")
#else
#define PIXHAUL_AVX512_CODE_BEGIN
#define PIXHAUL_AVX512_CODE_END
#endif
