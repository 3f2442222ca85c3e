#pragma once
// Runs a program of the build (qxa, make_demo) and collects its exit code and output.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "archive_builder.h"
#include "test_files.h"

extern char** environ;

namespace pixhaul::testing {

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string ReadText(const std::string& path) {
    const std::vector<std::uint8_t> bytes = ReadAll(path);
    return {bytes.begin(), bytes.end()};
}

// A running program started with args; stdin is /dev/null, stdout and stderr are files (not
// terminals). Wait() collects what it did.
class Spawned {
  public:
    Spawned(const std::string& program, const std::vector<std::string>& args) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outPath_.c_str(), O_WRONLY | O_CREAT, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, errPath_.c_str(), O_WRONLY | O_CREAT, 0600);
        std::vector<std::string> all = {program};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        const int spawned =
            posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) throw std::runtime_error("cannot run " + program);
    }
    pid_t Pid() const { return pid_; }
    ProcessResult Wait() {
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0) {
        }
        ProcessResult result;
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        result.out = ReadText(outPath_);
        result.err = ReadText(errPath_);
        return result;
    }

  private:
    TempDir capture_;
    std::string outPath_ = capture_.File("out");
    std::string errPath_ = capture_.File("err");
    pid_t pid_ = 0;
};

inline ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args) {
    return Spawned(program, args).Wait();
}

inline ProcessResult RunQxa(const std::vector<std::string>& args) {
    return RunProgram(PIXHAUL_QXA_BINARY, args);
}

}  // namespace pixhaul::testing
