// libFuzzer entry of the loader target (see targets/loader_target.h).
#include <cstddef>
#include <cstdint>

#include "targets/loader_target.h"
#include "targets/report.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    pixhaul::fuzz::AbortOnProblem("loader", pixhaul::fuzz::RunLoaderInput({data, size}));
    return 0;
}
