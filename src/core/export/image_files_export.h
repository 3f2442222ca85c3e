#pragma once
// Every image of an archive as a file of its own, image-NNNNN.png (or .bmp), in one folder: what
// `qxa extract` and the window's Export Images write, byte for byte the same.
#include <cstddef>
#include <functional>
#include <string>

#include "archive/model.h"
#include "export/compose_image.h"
#include "export/output_budget.h"
#include "formats/png_writer.h"
#include "platform/host.h"

namespace pixhaul {

struct ImageFilesRequest {
    std::string Folder;  // exists already
    bool Bmp = false;    // 24-bit BMP files instead of PNG
    int PngLevel = kPngDefaultCompression;
    COLORREF Trans = 0;
    unsigned Workers = 0;  // images decoded and written at once; 0: one per usable core
};

// "image-00012.png"
std::string ImageFileName(std::size_t index, bool bmp);

// Every file the export would write, as one output: the sum of their pixels and sizes.
PlannedOutput PlannedImageFiles(const ArchiveModel& model, const ImageFilesRequest& request);

// Called on the calling thread, in image order, for an image written only as far as it decodes
// (Corrupt, with its path) or not written (Undecodable, Missing; path empty).
using ImageFileProblem =
    std::function<void(std::size_t index, ImageOutcome outcome, const std::string& path)>;

// Writes the images on several threads (extract_images.h); the files appear a group at a time
// (CommitGroup). host hears Progress for every image, in order, and IsCanceled between images
// (then WorkCanceled is thrown; the files finished so far stay). Throws FileError, WorkCanceled,
// ArchiveChangedError. Returns the number of problems reported.
std::size_t ExportImageFiles(const ArchiveModel& model, Host& host,
                             const ImageFilesRequest& request, const ImageFileProblem& problem);

}  // namespace pixhaul
