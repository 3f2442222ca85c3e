// qxa sheet ARCHIVE [-o DIR] [--name NAME] [--no-dat] [--keep-duplicates] [--thumbnails]
//          [--trans RRGGBB] [--format bmp|png]
//          [--object O [--action A [--direction D]] | --image N | --images N,N,...]
// The bitmap export of the window: a sheet of frames and its lookup table.
#include <CLI/CLI.hpp>
#include <filesystem>
#include <limits>
#include <ostream>
#include <system_error>

#include "archive_loading.h"
#include "budget_flags.h"
#include "cli_host.h"
#include "command_list.h"
#include "export/naming.h"
#include "export/sheet_export.h"
#include "image_files.h"
#include "output_folder.h"
#include "qxa_app.h"
#include "terminal_text.h"
#include "web_colour.h"

namespace pixhaul::cli {

namespace {

[[noreturn]] void OutOfRange(const std::string& what, std::int64_t value, std::size_t count,
                             const std::string& holder) {
    throw CommandError(kExitFailure, what + " " + std::to_string(value) + ": " + holder +
                                         " holds " + std::to_string(count));
}

class SheetCommand : public Command {
  public:
    CLI::App* Register(CLI::App& app) override {
        CLI::App* sub = app.add_subcommand("sheet", "Write frames as one sheet picture");
        sub->add_option("ARCHIVE", archive_, "The QXA archive")->required();
        sub->add_option("-o,--output", folder_, "Folder for the files (default: current folder)");
        sub->add_option("--name", name_, "File name without extension (default: automatic)");
        sub->add_flag("--no-dat", noDat_, "Do not write the lookup table (.dat)");
        sub->add_flag("--keep-duplicates", keepDuplicates_,
                      "Keep frames whose image is already on the sheet");
        sub->add_flag("--thumbnails", thumbnails_, "Load image block 0 (thumbnails and icons)");
        sub->add_option("--trans", trans_, "Colour in place of black, RRGGBB")
            ->capture_default_str();
        sub->add_option("--format", format_, "bmp or png")
            ->check(CLI::IsMember({"bmp", "png"}))
            ->capture_default_str();
        AddPngLevelOption(*sub, pngLevel_);
        CLI::Option* object = sub->add_option("--object", object_, "Only this object (0-based)");
        CLI::Option* action =
            sub->add_option("--action", action_, "Only this action of the object")->needs(object);
        sub->add_option("--direction", direction_, "Only this direction of the action")
            ->needs(action);
        CLI::Option* image =
            sub->add_option("--image", image_, "Only this image (0-based)")->excludes(object);
        sub->add_option("--images", images_, "These images in this order, as one row")
            ->delimiter(',')
            ->excludes(object)
            ->excludes(image);
        budget_.Register(*sub);
        return sub;
    }

    int Run(CommandContext& context) override {
        Settings settings;
        settings.TransColor = WebColourOption("--trans", trans_);
        CliHost& host = context.host;
        host.SetOption(Option::LoadThumbnails, thumbnails_);
        host.SetOption(Option::RemoveDuplicateFrames, !keepDuplicates_);
        host.SetOption(Option::GenerateLookupTable, !noDat_);
        ArchiveModel model;
        const LoadResult load = LoadForCommand(model, archive_, host);
        settings.ArchivePath = archive_;
        const SheetExportRequest request = MakeRequest(model);

        if (!folder_.empty()) MakeOutputFolder(folder_);
        settings.ExportFolder = folder_;
        // A name given with the extension of one of our files loses it; any other dot is kept.
        settings.ExportName = RemoveKnownExtension(name_);

        host.SetProgressLabel("Writing sheet");
        const SheetExportResult result =
            ExportBitmaps(model, settings, host, request, budget_.Budget());
        host.EndProgress();
        if (result.status == SheetExportStatus::Undecodable) {
            return ExportExitCode(result.corruptImages, load.status, host);
        }
        if (result.status == SheetExportStatus::EmptyImage) {
            throw CommandError(kExitFailure, "image " + std::to_string(image_) + " holds no data");
        }
        // Without any image loaded there is no object to export; the window then does nothing,
        // here the user is told why nothing was written.
        if (result.status == SheetExportStatus::NoSelection) {
            throw CommandError(kExitFailure, kNothingToExport);
        }
        if (result.status != SheetExportStatus::Written) throw CommandError(kExitFailure, "");
        for (const std::string& path : result.paths) context.out << TerminalText(path) << '\n';
        return ExportExitCode(result.corruptImages, load.status, host);
    }

  private:
    // The mode and selection the flags name; indices are checked against the archive.
    SheetExportRequest MakeRequest(const ArchiveModel& model) const {
        SheetExportRequest request;
        request.Format = format_ == "png" ? SheetFormat::Png : SheetFormat::Bmp;
        request.PngLevel = pngLevel_;
        const std::size_t images = model.IsLoaded() ? model.Images.size() : 0;
        if (!images_.empty()) {
            for (std::int64_t image : images_) {
                if (image < 0 || static_cast<std::size_t>(image) >= images) {
                    OutOfRange("--images: image", image, images, "the archive");
                }
            }
            request.Mode = ExportMode::FromList;
            request.Sequence.assign(images_.begin(), images_.end());
            return request;
        }
        if (image_ != kNone) {
            if (image_ < 0 || static_cast<std::size_t>(image_) >= images) {
                OutOfRange("--image", image_, images, "the archive");
            }
            request.Mode = ExportMode::DisplayedImage;
            request.DisplayedImage = static_cast<std::int32_t>(image_);
            return request;
        }
        if (object_ == kNone) return request;  // all objects

        const std::size_t objects = model.IsLoaded() ? model.Objects.size() : 0;
        if (object_ < 0 || static_cast<std::size_t>(object_) >= objects) {
            OutOfRange("--object", object_, objects, "the archive");
        }
        request.Mode = ExportMode::SelectedObject;
        request.Object = static_cast<std::int32_t>(object_);
        if (action_ == kNone) return request;
        const ObjectRecord& object = model.Objects[static_cast<std::size_t>(object_)];
        if (action_ < 0 || static_cast<std::size_t>(action_) >= object.Actions.size()) {
            OutOfRange("--action", action_, object.Actions.size(),
                       "object " + std::to_string(object_));
        }
        request.Mode = ExportMode::SelectedAction;
        request.Action = static_cast<std::int32_t>(action_);
        if (direction_ == kNone) return request;
        const ActionRecord& action = object.Actions[static_cast<std::size_t>(action_)];
        if (direction_ < 0 || static_cast<std::size_t>(direction_) >= action.Directions.size()) {
            OutOfRange("--direction", direction_, action.Directions.size(),
                       "action " + std::to_string(action_));
        }
        request.Mode = ExportMode::SelectedDirection;
        request.Direction = static_cast<std::int32_t>(direction_);
        return request;
    }

    // Stands for an option not given.
    static constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::min();

    std::string archive_;
    std::string folder_;
    std::string name_;
    bool noDat_ = false;
    bool keepDuplicates_ = false;
    bool thumbnails_ = false;
    std::string trans_ = kDefaultTransText;
    std::string format_ = "bmp";
    int pngLevel_ = kPngDefaultCompression;
    std::int64_t object_ = kNone;
    std::int64_t action_ = kNone;
    std::int64_t direction_ = kNone;
    std::int64_t image_ = kNone;
    std::vector<std::int64_t> images_;
    BudgetFlags budget_;
};

}  // namespace

std::unique_ptr<Command> MakeSheetCommand() {
    return std::make_unique<SheetCommand>();
}

}  // namespace pixhaul::cli
