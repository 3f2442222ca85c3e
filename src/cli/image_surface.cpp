#include "image_surface.h"

#include "platform/host.h"

namespace pixhaul::cli {

ImageOutcome DrawImage(const ArchiveModel& model, std::size_t index, COLORREF trans,
                       Surface& target) {
    const auto number = static_cast<std::int32_t>(index);
    if (!ImageIsDecodable(model, number)) {
        QuietHost quiet;
        const ImageOutcome outcome = ComposeImage(model, number, trans, quiet, {}).outcome;
        // A stream too short to decode anything still has no size to write.
        return outcome == ImageOutcome::Ok ? ImageOutcome::Undecodable : outcome;
    }
    const ImageRecord& image = model.Images[index];
    target.Reset(image.Width, image.Height);
    ImagePlacement placement{&target, 0, 0};
    placement.drawDecodedPart = true;
    QuietHost quiet;
    return ComposeImage(model, number, trans, quiet, placement).outcome;
}

}  // namespace pixhaul::cli
