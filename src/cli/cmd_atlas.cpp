// qxa atlas ARCHIVE [-o DIR] [--name NAME] [--object O [--action A [--direction D]]]
//          [--data json|godot|libgdx] [--trim] [--padding N] [--extrude N] [--pot]
//          [--max-size WxH] [--fps N] [--keep-duplicates] [--thumbnails] [--trans RRGGBB]
// Frames as RGBA pages with a data file that game engines read.
#include <CLI/CLI.hpp>
#include <ostream>

#include "cli_host.h"
#include "command_list.h"
#include "export/atlas_export.h"
#include "export/naming.h"
#include "frame_export_flags.h"
#include "output_folder.h"
#include "qxa_app.h"

namespace pixhaul::cli {

namespace {

// "1024x2048" -> {1024, 2048}; a usage error otherwise.
std::pair<std::int32_t, std::int32_t> PageSizeOption(const std::string& text) {
    const std::size_t x = text.find_first_of("xX");
    try {
        if (x != std::string::npos && x > 0 && x + 1 < text.size() &&
            text.find_first_not_of("0123456789xX") == std::string::npos) {
            const long width = std::stol(text.substr(0, x));
            const long height = std::stol(text.substr(x + 1));
            constexpr long kLargest = 1L << 30;
            if (width >= 1 && height >= 1 && width <= kLargest && height <= kLargest) {
                return {static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};
            }
        }
    } catch (const std::exception&) {
    }
    throw CommandError(kExitUsage,
                       "--max-size " + text + ": expected WIDTHxHEIGHT, each 1 to 1073741824");
}

class AtlasCommand : public Command {
  public:
    CLI::App* Register(CLI::App& app) override {
        CLI::App* sub = app.add_subcommand("atlas", "Write frames as RGBA pages with engine data");
        common_.RegisterSource(*sub);
        sub->add_option("-o,--output", folder_, "Folder for the files (default: current folder)");
        sub->add_option("--name", name_, "File name without extension (default: automatic)");
        sub->add_option("--data", data_, "json, godot or libgdx")
            ->check(CLI::IsMember({"json", "godot", "libgdx"}))
            ->capture_default_str();
        sub->add_flag("--trim", trim_, "Cut each frame to its visible pixels");
        sub->add_option("--padding", padding_, "Transparent pixels between frames")
            ->check(CLI::Range(0, kMaxAtlasSpacing))
            ->capture_default_str();
        sub->add_option("--extrude", extrude_, "Repeat each frame's edge pixels N times")
            ->check(CLI::Range(0, kMaxAtlasSpacing))
            ->capture_default_str();
        sub->add_flag("--pot", pot_, "Page sides rounded up to powers of two");
        sub->add_option("--max-size", maxSize_,
                        "Largest page, WIDTHxHEIGHT (more pages as needed)");
        sub->add_option("--fps", fps_, "Animation speed in frames a second")
            ->check(CLI::Range(1, kMaxAtlasFps))
            ->capture_default_str();
        sub->add_flag("--keep-duplicates", keepDuplicates_,
                      "Store a repeated image again for every frame that uses it");
        common_.RegisterOutput(*sub);
        return sub;
    }

    int Run(CommandContext& context) override {
        AtlasExportRequest request;
        request.Trim = trim_;
        request.Data = data_ == "godot"    ? AtlasDataFormat::Godot
                       : data_ == "libgdx" ? AtlasDataFormat::LibGdx
                                           : AtlasDataFormat::Json;
        request.Fps = fps_;
        request.PngLevel = common_.PngLevel();
        request.Layout.padding = padding_;
        request.Layout.extrude = extrude_;
        request.Layout.powerOfTwo = pot_;
        request.Layout.keepDuplicates = keepDuplicates_;
        if (!maxSize_.empty()) {
            std::tie(request.Layout.maxWidth, request.Layout.maxHeight) = PageSizeOption(maxSize_);
        }
        CliHost& host = context.host;
        ArchiveModel model;
        Settings settings;
        const Selection selection = common_.Load(model, settings, host);
        request.Mode = selection.mode;
        request.Object = selection.object;
        request.Action = selection.action;
        request.Direction = selection.direction;

        if (!folder_.empty()) MakeOutputFolder(folder_);
        settings.ExportFolder = FolderWithSlash(folder_);
        settings.ExportName = RemoveKnownExtension(name_);

        host.SetProgressLabel("Writing atlas");
        const AtlasExportResult result =
            ExportAtlas(model, settings, host, request, common_.Budget());
        return common_.Report(context, result.status == AtlasExportStatus::NoSelection,
                              result.status == AtlasExportStatus::Written, result.paths,
                              result.corruptImages);
    }

  private:
    FrameExportFlags common_;
    std::string folder_;
    std::string name_;
    std::string data_ = "json";
    bool trim_ = false;
    std::int32_t padding_ = 0;
    std::int32_t extrude_ = 0;
    bool pot_ = false;
    std::string maxSize_;
    int fps_ = 10;
    bool keepDuplicates_ = false;
};

}  // namespace

std::unique_ptr<Command> MakeAtlasCommand() {
    return std::make_unique<AtlasCommand>();
}

}  // namespace pixhaul::cli
