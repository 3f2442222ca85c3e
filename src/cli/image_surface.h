#pragma once
// One image of the archive as the window draws it at zoom 1.
#include <cstdint>
#include <string>

#include "archive/model.h"
#include "platform/surface.h"

namespace pixhaul::cli {

enum class ImageDrawResult { Drawn, Empty, NoPixels, Corrupt, TooLarge };

// Decodes image index of model with trans in place of black (reading its block's palette for
// the palette type) and copies it 1:1 onto target, which becomes the record's Width x Height.
// The bitmap is purged afterwards. Empty: an entry without data (nothing to write); NoPixels:
// a width or height of 0 or less.
ImageDrawResult DrawImage(ArchiveModel& model, std::size_t index, COLORREF trans, Surface& target);

// What went wrong, for a message ("stream corrupt", ...).
std::string Describe(ImageDrawResult result);

}  // namespace pixhaul::cli
