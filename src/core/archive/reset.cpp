#include "archive/archive.h"

namespace pixhaul {

void ResetArchive(ArchiveModel& model, Host& host) {
    model.ReleaseImageBitmaps();
    // Swap with fresh vectors so that the memory of a large archive goes too.
    std::vector<ImageRecord>().swap(model.Images);
    model.Images.emplace_back();
    model.LastImage = 0;
    model.ObjectCount = 0;
    model.ImageTotal = 0;
    model.TotalFrames = 0;
    host.ThumbnailBlockLoaded(false);
    std::vector<ObjectRecord>().swap(model.Objects);
    model.Objects.emplace_back();
    model.ImageBlockPos.clear();
    host.ArchiveReset();
    // The streams of the released bitmaps shared the file's bytes; this was the last reference.
    model.File.reset();
}

std::array<COLORREF, 256> ReadBlockPalette(const ArchiveModel& model, std::int32_t PaletteIndex) {
    std::array<COLORREF, 256> palette{};
    if (!model.File || PaletteIndex < 0 ||
        static_cast<std::size_t>(PaletteIndex) >= model.ImageBlockPos.size()) {
        return palette;
    }
    const auto bytes = model.File->Bytes();
    const std::int64_t start = model.ImageBlockPos[static_cast<std::size_t>(PaletteIndex)] + 8;
    if (start < 0 || static_cast<std::uint64_t>(start) > bytes.size() ||
        bytes.size() - static_cast<std::size_t>(start) < 1024) {
        return palette;
    }
    const std::uint8_t* p = bytes.data() + start;
    for (std::size_t i = 0; i < 256; ++i, p += 4) {
        palette[i] = static_cast<COLORREF>(p[0]) | (static_cast<COLORREF>(p[1]) << 8) |
                     (static_cast<COLORREF>(p[2]) << 16) | (static_cast<COLORREF>(p[3]) << 24);
    }
    return palette;
}

}  // namespace pixhaul
