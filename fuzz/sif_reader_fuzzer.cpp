// libFuzzer entry of the sif_reader target (see targets/sif_reader_target.h).
#include <cstddef>
#include <cstdint>

#include "targets/report.h"
#include "targets/sif_reader_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    pixhaul::fuzz::AbortOnProblem("sif_reader", pixhaul::fuzz::RunSifReaderInput({data, size}));
    return 0;
}
