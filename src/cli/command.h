#pragma once
// One qxa command: declares its subcommand and options, then runs once parsed.
// A new command is a new file, cmd_NAME.cpp, with a Make...Command function listed in
// command_list.cpp.
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>

namespace CLI {
class App;
}

namespace pixhaul::cli {

class CliHost;

struct CommandContext {
    std::ostream& out;  // the command's results
    std::ostream& err;  // messages, "qxa: ..."
    CliHost& host;
};

class Command {
  public:
    virtual ~Command() = default;
    // Adds the subcommand to app, its options bound to members of this object.
    virtual CLI::App* Register(CLI::App& app) = 0;
    // Runs after a successful parse; returns the exit code.
    virtual int Run(CommandContext& context) = 0;
};

// Ends a command with an exit code and, unless message is "" (already told), "qxa: message".
class CommandError : public std::runtime_error {
  public:
    CommandError(int exitCode, const std::string& message)
        : std::runtime_error(message), exitCode_(exitCode) {}
    int ExitCode() const { return exitCode_; }

  private:
    int exitCode_;
};

}  // namespace pixhaul::cli
