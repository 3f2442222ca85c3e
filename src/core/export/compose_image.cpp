#include "export/compose_image.h"

#include <algorithm>

#include "archive/archive.h"
#include "bitmap/cbitmap.h"

namespace pixhaul {

namespace {

const ImageRecord* RecordOf(const ArchiveModel& model, std::int32_t index) {
    if (index < 0 || static_cast<std::size_t>(index) >= model.Images.size()) return nullptr;
    return &model.Images[static_cast<std::size_t>(index)];
}

ImageOutcome OutcomeOf(RenderOutcome rendered) {
    switch (rendered) {
        case RenderOutcome::Corrupt:
            return ImageOutcome::Corrupt;
        case RenderOutcome::TooLarge:
            return ImageOutcome::Undecodable;
        default:
            return ImageOutcome::Ok;
    }
}

// A corrupt stream leaves its decoded pixels in the buffer (the rest cleared) but no surface,
// so DrawTo draws nothing: copy them 1:1 straight from the buffer.
void DrawDecodedPart(const cBitMap& bitmap, const ImageRecord& record,
                     const ImagePlacement& placement) {
    const auto pixels = bitmap.PixelBuffer();
    const BitmapInfoHeader& header = bitmap.Header();
    if (pixels.empty() || header.biHeight < record.Height) return;
    SetDIBitsToDevice(*placement.target, placement.x, placement.y, record.Width, record.Height, 0,
                      header.biHeight - record.Height, pixels.data(), header);
}

// Decodes bitmap (unless reuseRendered and it already holds pixels) and draws it as placed.
ComposedImage ComposeWith(const ArchiveModel& model, const ImageRecord& record, cBitMap& bitmap,
                          bool reuseRendered, COLORREF trans, Host& host,
                          const ImagePlacement& placement) {
    ComposedImage result;
    result.outcome = ImageOutcome::Ok;
    if (!(reuseRendered && bitmap.IsRendered())) {
        if (record.eType == kPaletteType) {
            bitmap.SetPalette(ReadBlockPalette(model, record.PaletteIndex));
            result.paletteRead = true;
        }
        result.decoded = true;
        result.outcome = OutcomeOf(bitmap.Render(trans, host));
    }
    if (placement.target != nullptr) {
        if (result.outcome == ImageOutcome::Corrupt && placement.drawDecodedPart &&
            placement.scale == 1.0) {
            DrawDecodedPart(bitmap, record, placement);
        } else {
            bitmap.DrawTo(placement.target, 0, 0, placement.x, placement.y, record.Width,
                          record.Height, placement.scale, placement.scale, SRCCOPY);
        }
    }
    return result;
}

// The record of image index when it holds data to compose; otherwise null, with the outcome.
const ImageRecord* ComposableRecord(const ArchiveModel& model, std::int32_t index,
                                    ComposedImage& result) {
    const ImageRecord* record = RecordOf(model, index);
    if (record != nullptr && (record->Length == 0 || !record->Loaded)) {
        result.outcome = ImageOutcome::Empty;
        return nullptr;
    }
    return record;
}

}  // namespace

ComposedImage ComposeImage(const ArchiveModel& model, std::int32_t index, COLORREF trans,
                           Host& host, const ImagePlacement& placement) {
    ComposedImage result;
    const ImageRecord* record = ComposableRecord(model, index, result);
    if (record == nullptr) return result;
    cBitMap& bitmap = model.ImageBitmap(static_cast<std::size_t>(index));
    result = ComposeWith(model, *record, bitmap, host.IsOptionChecked(Option::CacheRenderedImages),
                         trans, host, placement);
    if (!host.IsOptionChecked(Option::CacheRenderedImages)) bitmap.Purge();
    return result;
}

ComposedImage ComposeImageUnshared(const ArchiveModel& model, std::int32_t index, COLORREF trans,
                                   Host& host, const ImagePlacement& placement) {
    ComposedImage result;
    const ImageRecord* record = ComposableRecord(model, index, result);
    if (record == nullptr) return result;
    const std::unique_ptr<cBitMap> bitmap = model.MakeImageBitmap(static_cast<std::size_t>(index));
    return ComposeWith(model, *record, *bitmap, false, trans, host, placement);
}

bool ImageIsDecodable(const ArchiveModel& model, std::int32_t index) {
    const ImageRecord* record = RecordOf(model, index);
    return record != nullptr && record->Length != 0 && record->Loaded &&
           cBitMap::SizeDecodable(record->Width, record->Height, record->eType);
}

std::string Describe(ImageOutcome outcome) {
    switch (outcome) {
        case ImageOutcome::Ok:
            return "";
        case ImageOutcome::Corrupt:
            return "stream corrupt";
        case ImageOutcome::Undecodable:
            return "its size cannot be decoded";
        case ImageOutcome::Empty:
            return "no data";
        case ImageOutcome::Missing:
            return "no such image";
    }
    return "";
}

void NoteFailure(ImageOutcome outcome, std::int32_t index, std::vector<std::int32_t>& failed) {
    if (IsFailure(outcome) && std::find(failed.begin(), failed.end(), index) == failed.end()) {
        failed.push_back(index);
    }
}

}  // namespace pixhaul
