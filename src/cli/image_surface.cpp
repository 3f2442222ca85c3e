#include "image_surface.h"

#include "archive/archive.h"
#include "platform/host.h"

namespace pixhaul::cli {

ImageDrawResult DrawImage(ArchiveModel& model, std::size_t index, COLORREF trans, Surface& target) {
    ImageRecord& image = model.Images.at(index);
    if (image.Length == 0 || !image.Loaded) return ImageDrawResult::Empty;
    if (image.Width <= 0 || image.Height <= 0) return ImageDrawResult::NoPixels;
    cBitMap& bitmap = model.ImageBitmap(index);
    if (image.eType == kPaletteType) bitmap.SetPalette(ReadBlockPalette(model, image.PaletteIndex));
    // A corrupt stream is named by the caller, not by the decoder's message box.
    QuietHost quiet;
    const RenderOutcome outcome = bitmap.Render(trans, quiet);
    ImageDrawResult result = ImageDrawResult::Drawn;
    if (outcome == RenderOutcome::Corrupt) result = ImageDrawResult::Corrupt;
    if (outcome == RenderOutcome::TooLarge) result = ImageDrawResult::TooLarge;
    if (result == ImageDrawResult::Drawn) {
        target.Reset(image.Width, image.Height);
        bitmap.DrawTo(&target, 0, 0, 0, 0, image.Width, image.Height, 1.0, 1.0, SRCCOPY);
    }
    bitmap.Purge();
    return result;
}

std::string Describe(ImageDrawResult result) {
    switch (result) {
        case ImageDrawResult::Drawn:
            return "drawn";
        case ImageDrawResult::Empty:
            return "no data";
        case ImageDrawResult::NoPixels:
            return "no pixels (width or height 0)";
        case ImageDrawResult::Corrupt:
            return "stream corrupt";
        case ImageDrawResult::TooLarge:
            return "too large to decode";
    }
    return "";
}

}  // namespace pixhaul::cli
