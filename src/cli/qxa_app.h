#pragma once
// The qxa command-line tool: parses the command line and runs one command.
namespace pixhaul::cli {

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitSomeImagesFailed = 3;

int RunQxa(int argc, char** argv);

}  // namespace pixhaul::cli
