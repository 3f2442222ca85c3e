#include "archive/model.h"

#include <string>

#include "archive/archive.h"

namespace pixhaul {

ArchiveModel::ArchiveModel() {
    Images.emplace_back();
    Objects.emplace_back();
}

std::string ObjectItemText(const ArchiveModel& model, std::int32_t object) {
    const std::int32_t actions =
        object >= 0 && static_cast<std::size_t>(object) < model.Objects.size()
            ? model.Objects[static_cast<std::size_t>(object)].ActionCount
            : 0;
    return "Object " + std::to_string(object) + " (" + std::to_string(actions) + " actions)";
}

std::string ActionItemText(const ActionRecord& action) {
    return action.Name + " (" + std::to_string(action.DirectionCount) + " directions)";
}

std::string DirectionItemText(const DirectionRecord& direction, std::int32_t index) {
    return "Direction " + std::to_string(index) + " (" + std::to_string(direction.FrameCount) +
           " frames)";
}

std::string FrameItemText(const FrameRecord& frame, std::int32_t index) {
    // A frame that names no image (ImageIndex -1) reads "(#0)".
    return "Frame " + std::to_string(index) + " (#" +
           std::to_string(static_cast<std::int64_t>(frame.ImageIndex) + 1) + ")";
}

}  // namespace pixhaul
