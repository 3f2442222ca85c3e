#include "platform/code_path.h"

namespace pixhaul {

bool ProcessorHasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

bool ProcessorHasAvx512Bw() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
}

bool ProcessorHasAvx512Vbmi() {
    return ProcessorHasAvx512Bw() && __builtin_cpu_supports("avx512vbmi") &&
           __builtin_cpu_supports("bmi2");
}

bool ProcessorHasAvx512Vbmi2() {
    return ProcessorHasAvx512Bw() && __builtin_cpu_supports("avx512vbmi2") &&
           __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
}

}  // namespace pixhaul
