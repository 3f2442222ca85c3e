#pragma once
// --object O [--action A [--direction D]]: the selection of the atlas and frames commands, checked
// against the archive (all objects when none is given).
#include <cstdint>
#include <limits>

#include "archive/model.h"
#include "export/naming.h"

namespace CLI {
class App;
}

namespace pixhaul::cli {

struct Selection {
    ExportMode mode = ExportMode::AllObjects;
    std::int32_t object = -1;
    std::int32_t action = -1;
    std::int32_t direction = -1;
};

class SelectionFlags {
  public:
    void Register(CLI::App& command);
    // Throws CommandError naming the flag and what the archive holds for an index out of range.
    Selection Resolve(const ArchiveModel& model) const;

  private:
    static constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::min();
    std::int64_t object_ = kNone;
    std::int64_t action_ = kNone;
    std::int64_t direction_ = kNone;
};

}  // namespace pixhaul::cli
