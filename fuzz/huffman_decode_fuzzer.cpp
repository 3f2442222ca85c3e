// libFuzzer entry of the huffman_decode target (see targets/huffman_targets.h).
#include <cstddef>
#include <cstdint>

#include "targets/huffman_targets.h"
#include "targets/report.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    pixhaul::fuzz::AbortOnProblem("huffman_decode",
                                  pixhaul::fuzz::RunHuffmanDecodeInput({data, size}));
    return 0;
}
