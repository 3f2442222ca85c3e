#pragma once
// One image of the archive as the window draws it at zoom 1, for the tool's own files.
#include <cstdint>

#include "archive/model.h"
#include "export/compose_image.h"
#include "platform/surface.h"

namespace pixhaul::cli {

// Renders image index of model with trans in place of black onto target, which becomes the
// record's Width x Height (black first). A corrupt stream leaves what was decoded before the
// fault. Nothing is shown: the caller names a failure. The bitmap is purged afterwards.
ImageOutcome DrawImage(const ArchiveModel& model, std::size_t index, COLORREF trans,
                       Surface& target);

}  // namespace pixhaul::cli
