#include "formats/dat_writer.h"

#include <array>

#include "formats/byte_order.h"

namespace pixhaul {
void WriteDatRecord(AtomicFile& file, const DatRecord& record) {
    std::array<std::uint8_t, kDatRecordSize> bytes{};
    std::uint8_t* p = bytes.data();
    for (std::int32_t v : {record.ObjectIndex, record.ActionIndex, record.DirectionIndex,
                           record.FrameIndex, record.X, record.Y}) {
        p = StoreLE(p, v);
    }
    for (std::int16_t v : {record.Height, record.Width, record.Extra1, record.Extra2, record.Extra3,
                           record.Extra4}) {
        p = StoreLE(p, v);
    }
    file.Write(bytes.data(), bytes.size());
}

}  // namespace pixhaul
