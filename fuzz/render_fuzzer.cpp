// libFuzzer entry of the render target (see targets/render_target.h).
#include <cstddef>
#include <cstdint>

#include "targets/render_target.h"
#include "targets/report.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    pixhaul::fuzz::AbortOnProblem("render", pixhaul::fuzz::RunRenderInput({data, size}));
    return 0;
}
