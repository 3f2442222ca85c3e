#pragma once
// The lookup table beside a sheet: a bare sequence of 36-byte little-endian records, one per frame
// on the sheet, in list order.
#include <cstddef>
#include <cstdint>

#include "platform/atomic_file.h"

namespace pixhaul {

struct DatRecord {
    std::int32_t ObjectIndex = 0;
    std::int32_t ActionIndex = 0;
    std::int32_t DirectionIndex = 0;
    std::int32_t FrameIndex = 0;
    std::int32_t X = 0;  // left edge on the sheet
    std::int32_t Y = 0;  // top edge on the sheet
    std::int16_t Height = 0;
    std::int16_t Width = 0;
    std::int16_t Extra1 = 0;
    std::int16_t Extra2 = 0;
    std::int16_t Extra3 = 0;
    std::int16_t Extra4 = 0;
};

inline constexpr std::size_t kDatRecordSize = 36;

// Appends one record to the file (the file buffers).
void WriteDatRecord(AtomicFile& file, const DatRecord& record);

}  // namespace pixhaul
