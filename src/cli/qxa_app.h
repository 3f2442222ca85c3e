#pragma once
// The qxa command-line tool: parses the command line and runs one command.
#include <iosfwd>
#include <string>
#include <vector>

namespace pixhaul::cli {

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitSomeImagesFailed = 3;
inline constexpr int kExitInterrupted = 130;  // stopped by Ctrl+C

int RunQxa(int argc, char** argv);
// The same with the streams given: args[0] is the program name. stderrIsTerminal turns the
// progress bar on.
int RunQxa(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           bool stderrIsTerminal);

}  // namespace pixhaul::cli
