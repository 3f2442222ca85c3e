#include "command_list.h"

namespace pixhaul::cli {

std::vector<std::unique_ptr<Command>> MakeCommands() {
    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(MakeInfoCommand());
    commands.push_back(MakeListCommand());
    commands.push_back(MakeExtractCommand());
    commands.push_back(MakeSheetCommand());
    commands.push_back(MakeAnimCommand());
    commands.push_back(MakeAtlasCommand());
    commands.push_back(MakeFramesCommand());
    commands.push_back(MakeSifCommand());
    commands.push_back(MakeSifDecodeCommand());
    commands.push_back(MakeBatchCommand());
    return commands;
}

}  // namespace pixhaul::cli
