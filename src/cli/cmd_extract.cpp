// qxa extract ARCHIVE -o DIR [--format png|bmp] [--thumbnails] [--trans RRGGBB]:
// every image of the archive as a file of its own, image-NNNNN.png.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "archive_loading.h"
#include "cli_host.h"
#include "command_list.h"
#include "image_files.h"
#include "image_surface.h"
#include "platform/atomic_file.h"
#include "qxa_app.h"
#include "web_colour.h"

namespace pixhaul::cli {

namespace {

std::string ImageFileName(std::size_t index, ImageFormat format) {
    char name[48];
    std::snprintf(name, sizeof name, "image-%05zu.%s", index, Extension(format));
    return name;
}

void MakeFolder(const std::string& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error || !std::filesystem::is_directory(folder)) {
        const std::string why = error ? error.message() : "Not a directory";
        throw CommandError(kExitFailure, "cannot create folder '" + folder + "': " + why);
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
        return sub;
    }

    int Run(CommandContext& context) override {
        const COLORREF trans = WebColourOption("--trans", trans_);
        const ImageFormat format = ImageFormatOption(format_);
        CliHost& host = context.host;
        host.SetOption(Option::LoadThumbnails, thumbnails_);
        ArchiveModel model;
        const LoadResult load = LoadForCommand(model, archive_, host);
        MakeFolder(folder_);
        // What killed runs left behind goes in one listing of the folder, not one per image.
        RemoveStaleTemporaries(folder_);

        const std::size_t count = LoadedImageCount(model);
        const std::string prefix =
            folder_.empty() || folder_.back() == '/' ? folder_ : folder_ + "/";
        host.SetProgressLabel("Extracting");
        int failures = 0;
        Surface surface;
        for (std::size_t i = 0; i < count; ++i) {
            host.Progress(static_cast<std::int64_t>(i), static_cast<std::int64_t>(count));
            const ImageDrawResult result = DrawImage(model, i, trans, surface);
            if (result == ImageDrawResult::Empty) continue;
            if (result != ImageDrawResult::Drawn) {
                host.Tell("image " + std::to_string(i) + " not written: " + Describe(result));
                ++failures;
                continue;
            }
            WriteImageFile(prefix + ImageFileName(i, format), surface, format,
                           StaleTemporaries::Keep, pngLevel_);
        }
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
    bool thumbnails_ = false;
    std::string trans_ = kDefaultTransText;
};

}  // namespace

std::unique_ptr<Command> MakeExtractCommand() {
    return std::make_unique<ExtractCommand>();
}

}  // namespace pixhaul::cli
