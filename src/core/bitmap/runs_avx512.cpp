// Runs decoded in one loop with their state in registers: packet by packet, through the
// decoder's general loop, the bench's run-heavy sprites (shapes of a few flat colours) took
// 1.8-2.1 ms with 16-byte stores and 1.6-1.9 ms with these stores called per packet; here they
// take 1.2-1.3 ms.
#include "bitmap/runs_avx512.h"

#include <algorithm>

#include "bitmap/run_fill_avx512.h"
#include "platform/code_path.h"

namespace pixhaul {

namespace {

CodePathSwitch& RunsSwitch() {
    static CodePathSwitch path(ProcessorHasAvx512Bw);
    return path;
}

using avx512::FillRun;

template <int kBytes>
PIXHAUL_AVX512BW bool DecodeRuns(const std::uint8_t* src, std::size_t& p, std::size_t opEnd,
                                 RowCursor& cursor, const Colours& colours) {
    const std::uint8_t* at = src + p;
    const std::uint8_t* const end = src + opEnd;
    RowCursor c = cursor;
    bool full = false;
    while (at < end && *at < 128 && !full) {
        std::int32_t count = *at;
        const Pixel colour = ReadColour<kBytes>(at + 1, colours);
        at += 1 + kBytes;
        while (count > 0 && !full) {
            const std::int32_t k = std::min(count, c.RowLeft());
            FillRun(c.Here(), colour, 3 * std::int64_t{k});
            count -= k;
            full = c.Advance(k);
        }
    }
    cursor = c;
    p = static_cast<std::size_t>(at - src);
    return full;
}

}  // namespace

bool RunsAvx512Enabled() {
    return RunsSwitch().Enabled();
}

void SetRunsAvx512(bool enabled) {
    RunsSwitch().Set(enabled);
}

template <int kBytes>
bool DecodeRunsAvx512(const std::uint8_t* src, std::size_t& p, std::size_t opEnd, RowCursor& cursor,
                      const Colours& colours) {
    return DecodeRuns<kBytes>(src, p, opEnd, cursor, colours);
}

template bool DecodeRunsAvx512<1>(const std::uint8_t*, std::size_t&, std::size_t, RowCursor&,
                                  const Colours&);
template bool DecodeRunsAvx512<2>(const std::uint8_t*, std::size_t&, std::size_t, RowCursor&,
                                  const Colours&);
template bool DecodeRunsAvx512<3>(const std::uint8_t*, std::size_t&, std::size_t, RowCursor&,
                                  const Colours&);

}  // namespace pixhaul
