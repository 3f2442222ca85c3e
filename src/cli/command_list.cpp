#include "command_list.h"

#include <array>

namespace pixhaul::cli {

std::span<const CommandEntry> CommandTable() {
    static constexpr std::array<CommandEntry, 10> table = {{
        {"info", MakeInfoCommand},
        {"list", MakeListCommand},
        {"extract", MakeExtractCommand},
        {"sheet", MakeSheetCommand},
        {"anim", MakeAnimCommand},
        {"atlas", MakeAtlasCommand},
        {"frames", MakeFramesCommand},
        {"sif", MakeSifCommand},
        {"sif-decode", MakeSifDecodeCommand},
        {"batch", MakeBatchCommand},
    }};
    return table;
}

std::vector<std::unique_ptr<Command>> MakeCommands(std::string_view firstArgument) {
    std::vector<std::unique_ptr<Command>> commands;
    for (const CommandEntry& entry : CommandTable()) {
        if (entry.name == firstArgument) {
            commands.push_back(entry.make());
            return commands;
        }
    }
    for (const CommandEntry& entry : CommandTable()) commands.push_back(entry.make());
    return commands;
}

}  // namespace pixhaul::cli
