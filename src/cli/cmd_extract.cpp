// qxa extract ARCHIVE -o DIR [--format png|bmp] [--thumbnails] [--trans RRGGBB] [-j N]:
// every image of the archive as a file of its own, image-NNNNN.png, several written at once.
#include <CLI/CLI.hpp>
#include <ostream>

#include "archive_loading.h"
#include "budget_flags.h"
#include "cli_host.h"
#include "command_list.h"
#include "export/image_files_export.h"
#include "image_files.h"
#include "output_folder.h"
#include "qxa_app.h"
#include "web_colour.h"

namespace pixhaul::cli {

namespace {

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
        ImageFilesRequest request{folder_, format == ImageFormat::Bmp, pngLevel_, trans, jobs_};
        budget_.Require(PlannedImageFiles(model, request));
        host.SetProgressLabel("Extracting");
        const std::size_t failures = ExportImageFiles(
            model, host, request,
            [&](std::size_t i, ImageOutcome outcome, const std::string& path) {
                if (outcome == ImageOutcome::Corrupt) {
                    host.Tell("image " + std::to_string(i) +
                              " written only as far as it decodes (" + Describe(outcome) +
                              "): " + path);
                } else {
                    host.Tell("image " + std::to_string(i) + " not written: " + Describe(outcome));
                }
            });
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
