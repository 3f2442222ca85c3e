#pragma once
// Planning a batch: which archives, in which order, into which folders, with which command line.
// Everything here is plain data in, plain data out, so the order and the names are the same on
// every run and every machine.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pixhaul::cli {

struct BatchOptions {
    std::vector<std::string> inputs;  // files and folders, as given
    std::string outputFolder;
    int jobs = 0;           // 0: one per core
    std::string filesFrom;  // a list file, "-" for stdin, "" for none
    bool jobsJson = false;
    bool dryRun = false;
    bool failFast = false;
    bool skipExisting = false;
    std::uint32_t shardIndex = 0;
    std::uint32_t shardCount = 1;
    std::vector<std::string> command;  // the archive command and its own arguments
};

// Parses what follows "batch" on the command line. Throws CommandError(kExitUsage).
BatchOptions ParseBatchArguments(const std::vector<std::string>& args);

// The archive commands batch can run and how each gets its archive and folder. A command that
// prints its result (info) has that output kept in a file of the folder.
struct BatchCommand {
    const char* name;
    bool takesOutputFolder;  // passed as -o FOLDER
    const char* stdoutFile;  // where the child's stdout goes, nullptr: discarded
};
// nullptr for a command batch cannot run.
const BatchCommand* FindBatchCommand(const std::string& name);
// "extract, info, ..." for messages.
std::string BatchCommandNames();

// A list of paths, NUL-separated when it holds a NUL, else one a line; blank lines are skipped.
std::vector<std::string> SplitFileList(const std::string& text);

struct BatchInput {
    std::string path;
    std::string error;  // not empty: the path cannot be run (no such file, ...)
};
// Files as given; folders walked recursively for *.qxa in any case, sorted by path; anything else
// is kept with its error, so it is reported in its place.
std::vector<BatchInput> ExpandInputs(const std::vector<std::string>& paths);

// The folder name of each input: its file name without extension, with "-2", "-3", ... added in
// input order to a name already taken. Comparison ignores case, so the folders stay apart on
// case-insensitive file systems too.
std::vector<std::string> OutputFolderNames(const std::vector<BatchInput>& inputs);

// The child's arguments (after the program name) for one archive.
std::vector<std::string> ChildArguments(const std::vector<std::string>& command,
                                        const BatchCommand& spec, const std::string& archive,
                                        const std::string& folder);

}  // namespace pixhaul::cli
