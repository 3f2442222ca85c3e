// qxa frames ARCHIVE -o DIR [--pattern P] [--trim] [--format png|bmp]
//           [--object O [--action A [--direction D]]] [--thumbnails] [--trans RRGGBB]
// One picture file per frame, named by a pattern.
#include <CLI/CLI.hpp>
#include <ostream>

#include "cli_host.h"
#include "command_list.h"
#include "export/frames_export.h"
#include "export/naming.h"
#include "frame_export_flags.h"
#include "output_folder.h"

namespace pixhaul::cli {

namespace {

class FramesCommand : public Command {
  public:
    CLI::App* Register(CLI::App& app) override {
        CLI::App* sub = app.add_subcommand("frames", "Write one picture file per frame");
        common_.RegisterSource(*sub);
        sub->add_option("-o,--output", folder_, "Folder for the files")->required();
        sub->add_option("--pattern", pattern_,
                        "File names: {object} {action} {direction} {frame} {image}, "
                        "zero-padded as {frame:03}")
            ->capture_default_str();
        sub->add_flag("--trim", trim_, "Cut each frame to its visible pixels");
        sub->add_option("--format", format_, "png (with transparency) or bmp")
            ->check(CLI::IsMember({"bmp", "png"}))
            ->capture_default_str();
        common_.RegisterOutput(*sub);
        return sub;
    }

    int Run(CommandContext& context) override {
        CliHost& host = context.host;
        ArchiveModel model;
        Settings settings;
        const Selection selection = common_.Load(model, settings, host);
        FramesExportRequest request{selection.mode,      selection.object,  selection.action,
                                    selection.direction, pattern_,          trim_,
                                    format_ == "bmp",    common_.PngLevel()};
        MakeOutputFolder(folder_);
        settings.ExportFolder = FolderWithSlash(folder_);

        host.SetProgressLabel("Writing frames");
        const FramesExportResult result =
            ExportFrames(model, settings, host, request, common_.Budget());
        return common_.Report(context, result.status == FramesExportStatus::NoSelection,
                              result.status == FramesExportStatus::Written, result.paths,
                              result.corruptImages);
    }

  private:
    FrameExportFlags common_;
    std::string folder_;
    std::string pattern_ = kDefaultFramePattern;
    bool trim_ = false;
    std::string format_ = "png";
};

}  // namespace

std::unique_ptr<Command> MakeFramesCommand() {
    return std::make_unique<FramesCommand>();
}

}  // namespace pixhaul::cli
