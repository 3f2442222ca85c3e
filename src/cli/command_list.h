#pragma once
// Every qxa command, in the order the help lists them.
#include <memory>
#include <span>
#include <string_view>
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

// A command's subcommand name, the one its Register declares, and how to make it.
struct CommandEntry {
    std::string_view name;
    std::unique_ptr<Command> (*make)();
};
std::span<const CommandEntry> CommandTable();

// The command a command line names as its first argument, alone; every command when the first
// argument names none (help, --version, a mistake), so that the help and the messages list them
// all. Declaring all ten took half the instructions of a short command such as `qxa info`.
std::vector<std::unique_ptr<Command>> MakeCommands(std::string_view firstArgument);

}  // namespace pixhaul::cli
