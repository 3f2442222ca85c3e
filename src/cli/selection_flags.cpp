#include "selection_flags.h"

#include <CLI/CLI.hpp>
#include <string>

#include "command.h"
#include "qxa_app.h"

namespace pixhaul::cli {

namespace {

void CheckIndex(const std::string& flag, std::int64_t value, std::size_t count,
                const std::string& holder) {
    if (value >= 0 && static_cast<std::size_t>(value) < count) return;
    throw CommandError(kExitFailure, flag + " " + std::to_string(value) + ": " + holder +
                                         " holds " + std::to_string(count));
}

}  // namespace

void SelectionFlags::Register(CLI::App& command) {
    CLI::Option* object = command.add_option("--object", object_, "Only this object (0-based)");
    CLI::Option* action =
        command.add_option("--action", action_, "Only this action of the object")->needs(object);
    command.add_option("--direction", direction_, "Only this direction of the action")
        ->needs(action);
}

Selection SelectionFlags::Resolve(const ArchiveModel& model) const {
    Selection selection;
    if (object_ == kNone) return selection;
    const std::size_t objects = model.IsLoaded() ? model.Objects.size() : 0;
    CheckIndex("--object", object_, objects, "the archive");
    selection.mode = ExportMode::SelectedObject;
    selection.object = static_cast<std::int32_t>(object_);
    if (action_ == kNone) return selection;
    const ObjectRecord& object = model.Objects[static_cast<std::size_t>(object_)];
    CheckIndex("--action", action_, object.Actions.size(), "object " + std::to_string(object_));
    selection.mode = ExportMode::SelectedAction;
    selection.action = static_cast<std::int32_t>(action_);
    if (direction_ == kNone) return selection;
    const ActionRecord& action = object.Actions[static_cast<std::size_t>(action_)];
    CheckIndex("--direction", direction_, action.Directions.size(),
               "action " + std::to_string(action_));
    selection.mode = ExportMode::SelectedDirection;
    selection.direction = static_cast<std::int32_t>(direction_);
    return selection;
}

}  // namespace pixhaul::cli
