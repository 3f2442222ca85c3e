#pragma once
// Which of a routine's two code paths runs: the vector one where the processor has the
// instructions it needs, the plain one elsewhere. Tests and fuzz targets turn the vector path
// off to cover the plain one on any processor.
#include <atomic>

namespace pixhaul {

bool ProcessorHasAvx2();
bool ProcessorHasAvx512Bw();     // AVX-512 F and BW
bool ProcessorHasAvx512Vbmi();   // AVX-512 F, BW and VBMI, and BMI2
bool ProcessorHasAvx512Vbmi2();  // AVX-512 F, BW and VBMI2, BMI2 and POPCNT

class CodePathSwitch {
  public:
    explicit CodePathSwitch(bool (*processorHasIt)())
        : processorHasIt_(processorHasIt), enabled_(processorHasIt()) {}

    bool Enabled() const { return enabled_.load(std::memory_order_relaxed); }
    // Turns the vector path on (where the processor has it) or off.
    void Set(bool enabled) {
        enabled_.store(enabled && processorHasIt_(), std::memory_order_relaxed);
    }

  private:
    bool (*processorHasIt_)();
    std::atomic<bool> enabled_;
};

}  // namespace pixhaul
