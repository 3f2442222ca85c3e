#pragma once
// Every qxa command, in the order the help lists them.
#include <memory>
#include <vector>

#include "command.h"

namespace pixhaul::cli {

std::unique_ptr<Command> MakeInfoCommand();
std::unique_ptr<Command> MakeListCommand();
std::unique_ptr<Command> MakeExtractCommand();
std::unique_ptr<Command> MakeSheetCommand();
std::unique_ptr<Command> MakeSifCommand();
std::unique_ptr<Command> MakeSifDecodeCommand();
std::unique_ptr<Command> MakeBatchCommand();
std::unique_ptr<Command> MakeAnimCommand();
std::unique_ptr<Command> MakeAtlasCommand();
std::unique_ptr<Command> MakeFramesCommand();

std::vector<std::unique_ptr<Command>> MakeCommands();

}  // namespace pixhaul::cli
