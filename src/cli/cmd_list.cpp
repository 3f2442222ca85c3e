// qxa list ARCHIVE [--thumbnails]: the object hierarchy with the window's list texts (names
// from the archive with their control characters escaped).
#include <CLI/CLI.hpp>
#include <algorithm>
#include <ostream>

#include "archive_loading.h"
#include "cli_host.h"
#include "command_list.h"
#include "qxa_app.h"
#include "terminal_text.h"

namespace pixhaul::cli {

namespace {

void PrintHierarchy(std::ostream& out, const ArchiveModel& model) {
    const auto objects = std::min<std::size_t>(
        static_cast<std::size_t>(std::max(model.ObjectCount, 0)), model.Objects.size());
    for (std::size_t o = 0; o < objects; ++o) {
        out << TerminalText(ObjectItemText(model, static_cast<std::int32_t>(o))) << '\n';
        for (const ActionRecord& action : model.Objects[o].Actions) {
            out << "  " << TerminalText(ActionItemText(action)) << '\n';
            for (std::size_t d = 0; d < action.Directions.size(); ++d) {
                const DirectionRecord& direction = action.Directions[d];
                out << "    "
                    << TerminalText(DirectionItemText(direction, static_cast<std::int32_t>(d)))
                    << '\n';
                for (std::size_t f = 0; f < direction.Frames.size(); ++f) {
                    out << "      "
                        << TerminalText(
                               FrameItemText(direction.Frames[f], static_cast<std::int32_t>(f)))
                        << '\n';
                }
            }
        }
    }
}

class ListCommand : public Command {
  public:
    CLI::App* Register(CLI::App& app) override {
        CLI::App* sub = app.add_subcommand("list", "List objects, actions, directions, frames");
        sub->add_option("ARCHIVE", archive_, "The QXA archive")->required();
        sub->add_flag("--thumbnails", thumbnails_, "Load image block 0 (thumbnails and icons)");
        return sub;
    }

    int Run(CommandContext& context) override {
        context.host.SetOption(Option::LoadThumbnails, thumbnails_);
        ArchiveModel model;
        // The hierarchy only: nothing is rendered, so the file's bytes need not be kept.
        const LoadResult load = LoadForCommand(model, archive_, context.host, LoadKind::IndexOnly);
        PrintHierarchy(context.out, model);
        // The hierarchy is what could be read; 3 says there was more.
        return load.status == LoadStatus::Damaged ? kExitSomeImagesFailed : kExitOk;
    }

  private:
    std::string archive_;
    bool thumbnails_ = false;
};

}  // namespace

std::unique_ptr<Command> MakeListCommand() {
    return std::make_unique<ListCommand>();
}

}  // namespace pixhaul::cli
