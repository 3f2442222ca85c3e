#pragma once
// Runs a list of child processes, a few at a time, each with its stdout and stderr captured, and
// hands back their results in list order. A child that crashes takes only itself down.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace pixhaul::cli {

struct ChildResult {
    bool started = false;
    int exitCode = -1;  // the child's exit code, or 128 + the signal that ended it
    std::string out;
    std::string err;
    double ms = 0;
};

struct ChildJob {
    std::vector<std::string> args;  // after the program name
    bool run = true;                // false: not started, reported as not started
};

struct RunnerSettings {
    std::string program;
    std::size_t parallel = 1;
    bool stopAfterFailure = false;  // start nothing new once a child exits with a code other than 0
    // "NAME=value" entries the children get on top of this process's environment.
    std::vector<std::string> environment;
};

// Calls report(index, result) for every job in list order, each as soon as it and every job
// before it are done. Jobs not started (run false, after a failure with stopAfterFailure, or
// after SIGINT) are reported with started false. On SIGINT (while Run runs) nothing new starts,
// the running children get SIGINT and are waited for. Returns false when interrupted.
bool RunChildren(const std::vector<ChildJob>& jobs, const RunnerSettings& settings,
                 const std::function<void(std::size_t, const ChildResult&)>& report);

}  // namespace pixhaul::cli
