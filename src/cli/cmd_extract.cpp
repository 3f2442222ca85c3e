// qxa extract ARCHIVE -o DIR [--format png|bmp] [--thumbnails] [--trans RRGGBB] [-j N]:
// every image of the archive as a file of its own, image-NNNNN.png, several written at once.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <ostream>
#include <system_error>

#include "archive_loading.h"
#include "budget_flags.h"
#include "cli_host.h"
#include "command_list.h"
#include "export/extract_images.h"
#include "export/naming.h"
#include "image_files.h"
#include "output_folder.h"
#include "platform/atomic_file.h"
#include "platform/commit_group.h"
#include "platform/replace_check.h"
#include "qxa_app.h"
#include "web_colour.h"

namespace pixhaul::cli {

namespace {

std::string ImageFileName(std::size_t index, ImageFormat format) {
    char name[48];
    std::snprintf(name, sizeof name, "image-%05zu.%s", index, Extension(format));
    return name;
}

// Every file extract would write, as one output: the sum of their pixels and sizes.
PlannedOutput PlannedFiles(const ArchiveModel& model, std::size_t count, const std::string& folder,
                           ImageFormat format) {
    PlannedOutput all{ExportPath(folder, std::string("image-*.") + Extension(format)), 0, 0,
                      format == ImageFormat::Bmp};
    for (std::size_t i = 0; i < count; ++i) {
        if (!ImageIsDecodable(model, static_cast<std::int32_t>(i))) continue;
        const auto w = static_cast<std::uint64_t>(model.Images[i].Width);
        const auto h = static_cast<std::uint64_t>(model.Images[i].Height);
        all.pixels += w * h;
        all.bytes += all.bytesExact ? BmpFileBytes(w, h) : UncompressedRgbBytes(w, h);
    }
    return all;
}

// After a stop or an error, the files finished so far appear as they would have one by one.
void PublishWhatIsComplete(CommitGroup& group) noexcept {
    try {
        group.Publish();
    } catch (...) {  // NOLINT(bugprone-empty-catch): the first error is the one to report
    }
}

class ExtractCommand : public Command {
  public:
    CLI::App* Register(CLI::App& app) override {
        CLI::App* sub = app.add_subcommand("extract", "Write every image as a file of its own");
        sub->add_option("ARCHIVE", archive_, "The QXA archive")->required();
        sub->add_option("-o,--output", folder_, "Folder for the files (made if missing)")
            ->required();
        sub->add_option("--format", format_, "png or bmp")->capture_default_str();
        AddPngLevelOption(*sub, pngLevel_);
        sub->add_flag("--thumbnails", thumbnails_, "Load image block 0 (thumbnails and icons)");
        sub->add_option("--trans", trans_, "Colour in place of black, RRGGBB")
            ->capture_default_str();
        sub->add_option("-j,--jobs", jobs_, "Images decoded and written at once (default: cores)")
            ->check(CLI::Range(1, 1024));
        budget_.Register(*sub);
        return sub;
    }

    int Run(CommandContext& context) override {
        const COLORREF trans = WebColourOption("--trans", trans_);
        const ImageFormat format = ImageFormatOption(format_);
        CliHost& host = context.host;
        host.SetOption(Option::LoadThumbnails, thumbnails_);
        ArchiveModel model;
        const LoadResult load = LoadForCommand(model, archive_, host);
        MakeOutputFolder(folder_);
        const std::optional<FileIdentity> archiveIdentity =
            model.File ? std::optional(model.File->Identity()) : std::nullopt;

        const std::size_t count = LoadedImageCount(model);
        budget_.Require(PlannedFiles(model, count, folder_, format));
        host.SetProgressLabel("Extracting");
        int failures = 0;
        // The files are flushed to the disk a group at a time rather than one by one.
        CommitGroup written;
        const auto write = [&](std::size_t i, const Surface& surface, ImageOutcome) {
            ThrowIfArchiveChanged(model);
            const std::string path = ExportPath(folder_, ImageFileName(i, format));
            CheckReplaceable(path, archiveIdentity);
            WriteImageFile(path, surface, format, pngLevel_, &written);
        };
        const auto report = [&](std::size_t i, const ExtractedImage& result) {
            ThrowIfCanceled(host);
            host.Progress(static_cast<std::int64_t>(i + 1), static_cast<std::int64_t>(count));
            if (result.outcome == ImageOutcome::Empty || result.outcome == ImageOutcome::Ok) return;
            ++failures;
            if (result.outcome == ImageOutcome::Corrupt) {
                host.Tell("image " + std::to_string(i) + " written only as far as it decodes (" +
                          Describe(result.outcome) +
                          "): " + ExportPath(folder_, ImageFileName(i, format)));
            } else {
                host.Tell("image " + std::to_string(i) +
                          " not written: " + Describe(result.outcome));
            }
        };
        host.Progress(0, static_cast<std::int64_t>(count));
        try {
            ExtractImages(model, count, trans, jobs_ > 0 ? jobs_ : DefaultWorkerCount(), write,
                          report);
        } catch (...) {
            PublishWhatIsComplete(written);
            throw;
        }
        written.Publish();
        host.Progress(static_cast<std::int64_t>(count), static_cast<std::int64_t>(count));
        host.EndProgress();
        if (failures > 0 || load.status == LoadStatus::Damaged) return kExitSomeImagesFailed;
        return kExitOk;
    }

  private:
    std::string archive_;
    std::string folder_;
    std::string format_ = "png";
    int pngLevel_ = kPngDefaultCompression;
    unsigned jobs_ = 0;  // 0: one per core
    bool thumbnails_ = false;
    std::string trans_ = kDefaultTransText;
    BudgetFlags budget_;
};

}  // namespace

std::unique_ptr<Command> MakeExtractCommand() {
    return std::make_unique<ExtractCommand>();
}

}  // namespace pixhaul::cli
