#include "archive/archive.h"
#include "archive/block_layout.h"
#include "formats/byte_order.h"

namespace pixhaul {

std::array<COLORREF, 256> ReadBlockPalette(const ArchiveModel& model, std::int32_t PaletteIndex) {
    static_assert(kBlockPaletteEntries == 256);
    std::array<COLORREF, 256> palette{};
    if (!model.File || PaletteIndex < 0 ||
        static_cast<std::size_t>(PaletteIndex) >= model.ImageBlockPos.size()) {
        return palette;
    }
    const auto bytes = model.File->Bytes();
    const std::int64_t block = model.ImageBlockPos[static_cast<std::size_t>(PaletteIndex)];
    if (block < 0 || static_cast<std::uint64_t>(block) > bytes.size() ||
        bytes.size() - static_cast<std::size_t>(block) < kBlockPaletteOffset + kBlockPaletteBytes) {
        return palette;
    }
    const std::uint8_t* p = bytes.data() + block + kBlockPaletteOffset;
    for (std::size_t i = 0; i < kBlockPaletteEntries; ++i, p += 4) palette[i] = LoadLE32(p);
    return palette;
}

}  // namespace pixhaul
