#pragma once
// Every image of an archive as a file of its own, several at once: each worker decodes an image
// on a bitmap and a surface of its own and writes it, while the caller hears of the images one by
// one in image order, so its messages and its files are the same whatever the number of workers.
#include <cstddef>
#include <exception>
#include <functional>

#include "archive/model.h"
#include "export/compose_image.h"
#include "platform/surface.h"

namespace pixhaul {

// Renders image index of model with trans in place of black onto target, which becomes the
// record's Width x Height (black first). A corrupt stream leaves what was decoded before the
// fault. Nothing is shown and the model's bitmaps are not touched, so threads may draw images of
// one model at once.
ImageOutcome DrawImageAlone(const ArchiveModel& model, std::size_t index, COLORREF trans,
                            Surface& target);

// What became of one image.
struct ExtractedImage {
    ImageOutcome outcome = ImageOutcome::Missing;
    std::exception_ptr error;  // what writing it threw
};

// Called on a worker thread for each image with pixels (Ok or Corrupt); must be safe to call
// from several threads at once.
using ImageWriter = std::function<void(std::size_t index, const Surface& surface, ImageOutcome)>;
// Called on the calling thread for every image, in image order.
using ImageReport = std::function<void(std::size_t index, const ExtractedImage& result)>;

// The number of workers when none is asked for: one per usable core (UsableCores).
unsigned DefaultWorkerCount();

// Draws images 0..count-1 of model and hands each to write, on up to `workers` threads (1: on
// the calling thread alone). report hears of every image in order. An error thrown by write
// (rethrown at that image's turn) or by report stops the work: nothing new is started, images
// already started are finished, and the error is thrown from here. Workers never run more than a
// few images ahead of report.
void ExtractImages(const ArchiveModel& model, std::size_t count, COLORREF trans, unsigned workers,
                   const ImageWriter& write, const ImageReport& report);

}  // namespace pixhaul
