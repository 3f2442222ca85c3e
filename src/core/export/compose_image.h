#pragma once
// Renders one archive image for output: the window's display, the sheet and SIF exports and
// the qxa tool's extract all go through here, so they agree on what an image is and on which
// images failed.
#include <cstdint>
#include <string>
#include <vector>

#include "archive/model.h"
#include "platform/host.h"
#include "platform/surface.h"

namespace pixhaul {

enum class ImageOutcome {
    Ok,           // decoded (or still decoded from the cache) and drawn
    Corrupt,      // the stream broke off: only the pixels before the fault were decoded
    Undecodable,  // a width or height of zero or less, or over the image size cap: nothing drawn
    Empty,        // an entry without data: nothing to draw, not a fault
    Missing,      // no such image in the archive
};

// Where the image goes: its top-left corner at (x, y) of target (y counted from the top), scaled
// by scale. A null target only decodes.
struct ImagePlacement {
    DeviceContext target = nullptr;
    std::int32_t x = 0;
    std::int32_t y = 0;
    double scale = 1.0;
    // Draw what a corrupt stream decoded before its fault (the rest black, shown as decoded);
    // otherwise a corrupt image leaves the target as it was.
    bool drawDecodedPart = false;
};

struct ComposedImage {
    ImageOutcome outcome = ImageOutcome::Missing;
    bool decoded = false;      // Render was called (not served from the cache)
    bool paletteRead = false;  // the block's palette was read for it
};

// Renders image `index` with trans in place of black (reading its block's palette for the
// palette type) and draws it as placed. "Cache rendered images" is read from the host before
// decoding (a rendered bitmap is reused) and after drawing (unless checked, the pixels are
// released). Damage is told through the host's message box, as Render tells it.
ComposedImage ComposeImage(const ArchiveModel& model, std::int32_t index, COLORREF trans,
                           Host& host, const ImagePlacement& placement);

// As ComposeImage, but on a bitmap of its own that is dropped afterwards (the model's bitmaps
// and "Cache rendered images" are not touched): threads may compose images of one model at once,
// each with its own host and target.
ComposedImage ComposeImageUnshared(const ArchiveModel& model, std::int32_t index, COLORREF trans,
                                   Host& host, const ImagePlacement& placement);

// Whether the outcome means the image could not be output as the archive meant it.
inline bool IsFailure(ImageOutcome outcome) {
    return outcome == ImageOutcome::Corrupt || outcome == ImageOutcome::Undecodable;
}

// Adds index to failed when the outcome is a failure and it is not listed yet.
void NoteFailure(ImageOutcome outcome, std::int32_t index, std::vector<std::int32_t>& failed);

// Whether image `index` exists, holds data and has a size Render accepts: an export of it alone
// writes nothing otherwise.
bool ImageIsDecodable(const ArchiveModel& model, std::int32_t index);

// What went wrong, for a message ("stream corrupt", ...); "" for Ok.
std::string Describe(ImageOutcome outcome);

}  // namespace pixhaul
