#pragma once
// What code built for AVX-512 needs: the attributes of functions compiled for it (the caller
// checks the processor first), and a bracket around code that uses the intrinsics, in which g++
// 12 would take the undefined pass-through operand of the unmasked ones for a read of an
// uninitialised value.
#define PIXHAUL_AVX512BW __attribute__((target("avx512f,avx512bw")))
// VBMI code also takes BMI2, for shifts by a register that need not go through cl.
#define PIXHAUL_VBMI __attribute__((target("avx512f,avx512bw,avx512vbmi,bmi2")))
// VBMI2 adds the byte compress.
#define PIXHAUL_VBMI2 __attribute__((target("avx512f,avx512bw,avx512vbmi2,bmi2,popcnt")))

#if defined(__GNUC__) && !defined(__clang__)
#define PIXHAUL_AVX512_CODE_BEGIN                                                        \
    _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic ignored \"-Wuninitialized\"") \
        _Pragma("GCC diagnostic ignored \"-Wmaybe-uninitialized\"")
#define PIXHAUL_AVX512_CODE_END _Pragma("GCC diagnostic pop")
#else
#define PIXHAUL_AVX512_CODE_BEGIN
#define PIXHAUL_AVX512_CODE_END
#endif
