#include "export/image_files_export.h"

#include <cstdio>
#include <optional>

#include "archive/archive.h"
#include "export/extract_images.h"
#include "export/naming.h"
#include "formats/bmp_writer.h"
#include "platform/archive_file.h"
#include "platform/commit_group.h"
#include "platform/replace_check.h"

namespace pixhaul {

namespace {

std::size_t LoadedImages(const ArchiveModel& model) {
    return model.IsLoaded() ? model.Images.size() : 0;
}

// After a stop or an error, the files finished so far appear as they would have one by one.
void PublishWhatIsComplete(CommitGroup& group) noexcept {
    try {
        group.Publish();
    } catch (...) {  // NOLINT(bugprone-empty-catch): the first error is the one to report
    }
}

}  // namespace

std::string ImageFileName(std::size_t index, bool bmp) {
    char name[48];
    std::snprintf(name, sizeof name, "image-%05zu.%s", index, bmp ? "bmp" : "png");
    return name;
}

PlannedOutput PlannedImageFiles(const ArchiveModel& model, const ImageFilesRequest& request) {
    PlannedOutput all{ExportPath(request.Folder, request.Bmp ? "image-*.bmp" : "image-*.png"), 0, 0,
                      request.Bmp};
    for (std::size_t i = 0; i < LoadedImages(model); ++i) {
        if (!ImageIsDecodable(model, static_cast<std::int32_t>(i))) continue;
        const auto w = static_cast<std::uint64_t>(model.Images[i].Width);
        const auto h = static_cast<std::uint64_t>(model.Images[i].Height);
        all.pixels += w * h;
        all.bytes += all.bytesExact ? BmpFileBytes(w, h) : UncompressedRgbBytes(w, h);
    }
    return all;
}

std::size_t ExportImageFiles(const ArchiveModel& model, Host& host,
                             const ImageFilesRequest& request, const ImageFileProblem& problem) {
    const std::size_t count = LoadedImages(model);
    const std::optional<FileIdentity> archive =
        model.File ? std::optional(model.File->Identity()) : std::nullopt;
    const auto pathOf = [&](std::size_t i) {
        return ExportPath(request.Folder, ImageFileName(i, request.Bmp));
    };
    // The files are flushed to the disk a group at a time rather than one by one.
    CommitGroup written;
    const auto write = [&](std::size_t i, const Surface& surface, ImageOutcome) {
        ThrowIfArchiveChanged(model);
        const std::string path = pathOf(i);
        CheckReplaceable(path, archive);
        if (request.Bmp) {
            WriteBmp(path, surface, &written);
        } else {
            WritePng(path, surface, request.PngLevel, 0, &written);
        }
    };
    std::size_t problems = 0;
    const auto report = [&](std::size_t i, const ExtractedImage& result) {
        ThrowIfCanceled(host);
        host.Progress(static_cast<std::int64_t>(i + 1), static_cast<std::int64_t>(count));
        host.Yield();
        if (result.outcome == ImageOutcome::Empty || result.outcome == ImageOutcome::Ok) return;
        ++problems;
        problem(i, result.outcome, result.outcome == ImageOutcome::Corrupt ? pathOf(i) : "");
    };
    host.Progress(0, static_cast<std::int64_t>(count));
    try {
        ExtractImages(model, count, request.Trans,
                      request.Workers > 0 ? request.Workers : DefaultWorkerCount(), write, report);
    } catch (...) {
        PublishWhatIsComplete(written);
        throw;
    }
    written.Publish();
    host.Progress(static_cast<std::int64_t>(count), static_cast<std::int64_t>(count));
    return problems;
}

}  // namespace pixhaul
