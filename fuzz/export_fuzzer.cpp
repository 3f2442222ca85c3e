// libFuzzer entry of the export target (see targets/export_target.h).
#include <cstddef>
#include <cstdint>

#include "targets/export_target.h"
#include "targets/report.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // One folder for the whole run, emptied after every input and removed at exit.
    static const pixhaul::fuzz::ScratchFolder scratch;
    pixhaul::fuzz::AbortOnProblem("export", pixhaul::fuzz::RunExportInput({data, size}, scratch));
    return 0;
}
