#include "formats/sif_format.h"

namespace pixhaul {

std::vector<std::uint8_t> SerializeSifTables(const std::vector<SifAction>& SifActionTable) {
    std::size_t size = kSifHeaderSize + 2;
    for (const SifAction& action : SifActionTable) {
        size += 2;
        for (const SifDirection& direction : action.Directions) {
            size += 2 + direction.Frames.size() * kSifFrameSize;
        }
    }
    std::vector<std::uint8_t> out;
    out.reserve(size);
    out.push_back(kSifSignature0);
    out.push_back(kSifSignature1);
    out.push_back(kSifFixed0);
    out.push_back(kSifFixed1);
    AppendLE<std::uint32_t>(out, 0);  // ImagePos, patched once the tables are written
    AppendLE<std::uint16_t>(out, static_cast<std::uint16_t>(SifActionTable.size() - 1));
    for (const SifAction& action : SifActionTable) {
        AppendLE<std::uint16_t>(out, static_cast<std::uint16_t>(action.LastDirection));
        for (const SifDirection& direction : action.Directions) {
            AppendLE<std::uint16_t>(out, static_cast<std::uint16_t>(direction.LastFrame));
            for (const SifFrame& f : direction.Frames) {
                for (std::int32_t v :
                     {f.X, f.Y, f.Height, f.Width, f.Reserved, f.Extra1, f.Extra2}) {
                    AppendLE<std::uint32_t>(out, static_cast<std::uint32_t>(v));
                }
            }
        }
    }
    return out;
}

std::vector<std::uint8_t> SerializeSifImageHeader(const SifImageHeader& header) {
    std::vector<std::uint8_t> out;
    out.reserve(kSifImageHeaderSize);
    AppendLE<std::uint32_t>(out, static_cast<std::uint32_t>(header.PayloadLast));
    AppendLE<std::uint32_t>(out, header.BackColor);
    AppendLE<std::uint32_t>(out, static_cast<std::uint32_t>(header.SheetWidth));
    AppendLE<std::uint32_t>(out, static_cast<std::uint32_t>(header.SheetHeight));
    out.push_back(header.RleKind);
    return out;
}

}  // namespace pixhaul
