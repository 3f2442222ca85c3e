// qxa frames ARCHIVE -o DIR [--pattern P] [--trim] [--format png|bmp]
//           [--object O [--action A [--direction D]]] [--thumbnails] [--trans RRGGBB]
// One picture file per frame, named by a pattern.
#include <CLI/CLI.hpp>
#include <ostream>

#include "archive_loading.h"
#include "budget_flags.h"
#include "cli_host.h"
#include "command_list.h"
#include "export/frames_export.h"
#include "image_files.h"
#include "output_folder.h"
#include "qxa_app.h"
#include "selection_flags.h"
#include "terminal_text.h"
#include "web_colour.h"

namespace pixhaul::cli {

namespace {

class FramesCommand : public Command {
  public:
    CLI::App* Register(CLI::App& app) override {
        CLI::App* sub = app.add_subcommand("frames", "Write one picture file per frame");
        sub->add_option("ARCHIVE", archive_, "The QXA archive")->required();
        sub->add_option("-o,--output", folder_, "Folder for the files")->required();
        sub->add_option("--pattern", pattern_,
                        "File names: {object} {action} {direction} {frame} {image}, "
                        "zero-padded as {frame:03}")
            ->capture_default_str();
        sub->add_flag("--trim", trim_, "Cut each frame to its visible pixels");
        sub->add_option("--format", format_, "png (with transparency) or bmp")
            ->check(CLI::IsMember({"bmp", "png"}))
            ->capture_default_str();
        selection_.Register(*sub);
        sub->add_flag("--thumbnails", thumbnails_, "Load image block 0 (thumbnails and icons)");
        sub->add_option("--trans", trans_, "The transparent colour, RRGGBB")->capture_default_str();
        AddPngLevelOption(*sub, pngLevel_);
        budget_.Register(*sub);
        return sub;
    }

    int Run(CommandContext& context) override {
        Settings settings;
        settings.TransColor = WebColourOption("--trans", trans_);
        CliHost& host = context.host;
        host.SetOption(Option::LoadThumbnails, thumbnails_);
        ArchiveModel model;
        const LoadResult load = LoadForCommand(model, archive_, host);
        settings.ArchivePath = archive_;
        const Selection selection = selection_.Resolve(model);
        FramesExportRequest request{selection.mode,      selection.object, selection.action,
                                    selection.direction, pattern_,         trim_,
                                    format_ == "bmp",    pngLevel_};
        MakeOutputFolder(folder_);
        settings.ExportFolder = folder_.back() == '/' ? folder_ : folder_ + "/";

        host.SetProgressLabel("Writing frames");
        const FramesExportResult result =
            ExportFrames(model, settings, host, request, budget_.Budget());
        host.EndProgress();
        for (const std::string& path : result.paths) context.out << TerminalText(path) << '\n';
        if (result.status == FramesExportStatus::NoSelection) {
            throw CommandError(kExitFailure, "Nothing to export: the selection holds no frames.");
        }
        if (result.status != FramesExportStatus::Written) throw CommandError(kExitFailure, "");
        return ExportExitCode(result.corruptImages, load.status, host);
    }

  private:
    std::string archive_;
    std::string folder_;
    std::string pattern_ = kDefaultFramePattern;
    bool trim_ = false;
    std::string format_ = "png";
    SelectionFlags selection_;
    bool thumbnails_ = false;
    std::string trans_ = kDefaultTransText;
    int pngLevel_ = kPngDefaultCompression;
    BudgetFlags budget_;
};

}  // namespace

std::unique_ptr<Command> MakeFramesCommand() {
    return std::make_unique<FramesCommand>();
}

}  // namespace pixhaul::cli
