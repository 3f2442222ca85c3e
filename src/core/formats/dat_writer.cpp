#include "formats/dat_writer.h"

#include <array>

namespace pixhaul {
namespace {

template <typename T>
std::uint8_t* PutLittleEndian(std::uint8_t* out, T value) {
    auto bits = static_cast<std::make_unsigned_t<T>>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        *out++ = static_cast<std::uint8_t>(bits & 0xFF);
        bits = static_cast<decltype(bits)>(bits >> 8);
    }
    return out;
}

}  // namespace

void WriteDatRecord(AtomicFile& file, const DatRecord& record) {
    std::array<std::uint8_t, kDatRecordSize> bytes{};
    std::uint8_t* p = bytes.data();
    for (std::int32_t v : {record.ObjectIndex, record.ActionIndex, record.DirectionIndex,
                           record.FrameIndex, record.X, record.Y}) {
        p = PutLittleEndian(p, v);
    }
    for (std::int16_t v : {record.Height, record.Width, record.Extra1, record.Extra2, record.Extra3,
                           record.Extra4}) {
        p = PutLittleEndian(p, v);
    }
    file.Write(bytes.data(), bytes.size());
}

}  // namespace pixhaul
