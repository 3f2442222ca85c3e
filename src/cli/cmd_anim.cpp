// qxa anim ARCHIVE --object O --action A --direction D -o FILE.webp|.gif|.png
//          [--fps N] [--scale N] [--trans RRGGBB] [--keep-duplicates] [--format webp|gif|apng]
// qxa anim ARCHIVE --object O --all -o DIR [...]
// An animated preview of a direction's frames; with --all one per action and direction of the
// object, named like 0_Walk_d2.webp.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <limits>
#include <map>
#include <ostream>
#include <set>

#include "archive_loading.h"
#include "cli_host.h"
#include "command_list.h"
#include "export/anim_export.h"
#include "export/naming.h"
#include "output_folder.h"
#include "qxa_app.h"
#include "terminal_text.h"
#include "web_colour.h"

namespace pixhaul::cli {

namespace {

const std::map<std::string, AnimFormat> kFormats = {
    {"webp", AnimFormat::Webp}, {"gif", AnimFormat::Gif}, {"apng", AnimFormat::Apng}};

[[noreturn]] void OutOfRange(const std::string& what, std::int64_t value, std::size_t count,
                             const std::string& holder) {
    throw CommandError(kExitFailure, what + " " + std::to_string(value) + ": " + holder +
                                         " holds " + std::to_string(count));
}

class AnimCommand : public Command {
  public:
    CLI::App* Register(CLI::App& app) override {
        CLI::App* sub = app.add_subcommand("anim", "Write a direction's frames as an animation");
        sub->add_option("ARCHIVE", archive_, "The QXA archive")->required();
        sub->add_option("-o,--output", output_, "The file (.webp, .gif, .png); a folder with --all")
            ->required();
        sub->add_option("--object", object_, "The object (0-based)")->required();
        CLI::Option* all = sub->add_flag("--all", all_, "Every action and direction of the object");
        sub->add_option("--action", action_, "The action of the object")->excludes(all);
        sub->add_option("--direction", direction_, "The direction of the action")->excludes(all);
        sub->add_option("--fps", fps_, "Frames per second")
            ->check(CLI::Range(1, kMaxAnimFps))
            ->capture_default_str();
        sub->add_option("--scale", scale_, "Whole-number enlargement, nearest neighbour")
            ->check(CLI::Range(1, kMaxAnimScale))
            ->capture_default_str();
        sub->add_option("--trans", trans_, "Colour in place of black, RRGGBB; transparent")
            ->capture_default_str();
        sub->add_flag("--keep-duplicates", keepDuplicates_,
                      "Keep frames whose image was already shown");
        sub->add_option("--format", format_, "webp, gif or apng (default: by the extension)")
            ->check(CLI::IsMember({"webp", "gif", "apng"}));
        return sub;
    }

    int Run(CommandContext& context) override {
        CliHost& host = context.host;
        host.SetOption(Option::RemoveDuplicateFrames, !keepDuplicates_);
        AnimExportRequest request;
        request.TransColor = WebColourOption("--trans", trans_);
        request.Fps = fps_;
        request.Scale = scale_;
        request.Format = ChosenFormat();
        if (!all_ && (action_ == kNone || direction_ == kNone)) {
            throw CommandError(kExitUsage, "anim: --action and --direction are needed (or --all)");
        }
        ArchiveModel model;
        const LoadResult load = LoadForCommand(model, archive_, host);
        const ObjectRecord& object = CheckedObject(model);
        request.Object = static_cast<std::int32_t>(object_);
        std::vector<std::int32_t> corrupt;
        host.SetProgressLabel("Writing animation");
        if (!all_) {
            request.Action = CheckedAction(object);
            request.Direction = CheckedDirection(object.Actions[request.Action]);
            request.Path = output_;
            const AnimExportResult result = ExportAnimation(model, host, request);
            host.EndProgress();
            if (result.status != AnimExportStatus::Written) {
                throw CommandError(kExitFailure, result.message);
            }
            context.out << TerminalText(output_) << '\n';
            return ExportExitCode(result.corruptImages, load.status, host);
        }
        MakeOutputFolder(output_);
        const std::string folder = FolderWithSlash(output_);
        int written = 0;
        std::set<std::string> used;
        for (std::size_t a = 0; a < object.Actions.size(); ++a) {
            for (std::size_t d = 0; d < object.Actions[a].Directions.size(); ++d) {
                request.Action = static_cast<std::int32_t>(a);
                request.Direction = static_cast<std::int32_t>(d);
                // Two actions of one name (or names that differ only in characters a file
                // name cannot hold) would write over each other: later ones get "-2", "-3", ...
                const std::string base =
                    AnimPreviewName(model, request.Object, request.Action, request.Direction);
                std::string name = base;
                for (int k = 2; !used.insert(name).second; ++k) {
                    name = base + "-" + std::to_string(k);
                }
                request.Path = folder + name + AnimExtension(request.Format);
                const AnimExportResult result = ExportAnimation(model, host, request);
                host.EndProgress();
                if (result.status == AnimExportStatus::NothingToExport) {
                    host.Tell(result.message + ": skipped");
                    continue;
                }
                if (result.status != AnimExportStatus::Written) {
                    throw CommandError(kExitFailure, result.message);
                }
                corrupt.insert(corrupt.end(), result.corruptImages.begin(),
                               result.corruptImages.end());
                context.out << TerminalText(request.Path) << '\n';
                ++written;
            }
        }
        if (written == 0) {
            throw CommandError(kExitFailure,
                               "object " + std::to_string(object_) + " holds no frames to show");
        }
        std::sort(corrupt.begin(), corrupt.end());
        corrupt.erase(std::unique(corrupt.begin(), corrupt.end()), corrupt.end());
        return ExportExitCode(corrupt, load.status, host);
    }

  private:
    AnimFormat ChosenFormat() const {
        if (!format_.empty()) return kFormats.at(format_);
        AnimFormat format = AnimFormat::Webp;
        if (all_ || AnimFormatFromPath(output_, format)) return format;
        throw CommandError(kExitUsage, "anim: cannot tell the format of '" + output_ +
                                           "': name it .webp, .gif or .png, or give --format");
    }

    const ObjectRecord& CheckedObject(const ArchiveModel& model) const {
        const std::size_t objects = model.IsLoaded() ? model.Objects.size() : 0;
        if (object_ < 0 || static_cast<std::size_t>(object_) >= objects) {
            OutOfRange("--object", object_, objects, "the archive");
        }
        return model.Objects[static_cast<std::size_t>(object_)];
    }

    std::int32_t CheckedAction(const ObjectRecord& object) const {
        if (action_ < 0 || static_cast<std::size_t>(action_) >= object.Actions.size()) {
            OutOfRange("--action", action_, object.Actions.size(),
                       "object " + std::to_string(object_));
        }
        return static_cast<std::int32_t>(action_);
    }

    std::int32_t CheckedDirection(const ActionRecord& action) const {
        if (direction_ < 0 || static_cast<std::size_t>(direction_) >= action.Directions.size()) {
            OutOfRange("--direction", direction_, action.Directions.size(),
                       "action " + std::to_string(action_));
        }
        return static_cast<std::int32_t>(direction_);
    }

    std::string archive_;
    std::string output_;
    std::int64_t object_ = -1;
    // Stands for an option not given.
    static constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::min();
    std::int64_t action_ = kNone;
    std::int64_t direction_ = kNone;
    bool all_ = false;
    std::int32_t fps_ = kDefaultAnimFps;
    std::int32_t scale_ = 1;
    std::string trans_ = kDefaultTransText;
    bool keepDuplicates_ = false;
    std::string format_;
};

}  // namespace

std::unique_ptr<Command> MakeAnimCommand() {
    return std::make_unique<AnimCommand>();
}

}  // namespace pixhaul::cli
