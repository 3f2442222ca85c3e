#include "batch_plan.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <set>
#include <system_error>

#include "command.h"
#include "qxa_app.h"

namespace pixhaul::cli {

namespace fs = std::filesystem;

namespace {

constexpr BatchCommand kCommands[] = {
    {"extract", true, nullptr},
    {"sheet", true, nullptr},
    {"sif", true, nullptr},
    {"info", false, "info.txt"},
};

[[noreturn]] void Usage(const std::string& message) {
    throw CommandError(kExitUsage, "batch: " + message);
}

std::uint32_t ParseCount(const std::string& text, const std::string& what) {
    std::uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || at != end || text.empty()) {
        Usage(what + ": '" + text + "' is not a number");
    }
    return value;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

BatchOptions ParseBatchArguments(const std::vector<std::string>& args) {
    BatchOptions options;
    bool haveCommand = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::optional<std::string> inlineValue;
        if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
            inlineValue = arg.substr(arg.find('=') + 1);
            arg.resize(arg.find('='));
        }
        auto value = [&]() -> std::string {
            if (inlineValue) return *inlineValue;
            if (i + 1 >= args.size()) Usage(arg + " needs a value");
            return args[++i];
        };
        if (arg == "--") {
            options.command.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            haveCommand = true;
            break;
        } else if (arg == "-o" || arg == "--output") {
            options.outputFolder = value();
        } else if (arg == "-j" || arg == "--jobs") {
            options.jobs = static_cast<int>(std::min(ParseCount(value(), "-j"), 1024U));
            if (options.jobs == 0) Usage("-j: at least 1");
        } else if (arg == "--files-from") {
            options.filesFrom = value();
        } else if (arg == "--shard") {
            const std::string shard = value();
            const std::size_t slash = shard.find('/');
            if (slash == std::string::npos) Usage("--shard: '" + shard + "' is not K/N");
            options.shardIndex = ParseCount(shard.substr(0, slash), "--shard");
            options.shardCount = ParseCount(shard.substr(slash + 1), "--shard");
            if (options.shardCount == 0 || options.shardIndex >= options.shardCount) {
                Usage("--shard: K/N needs 0 <= K < N, not '" + shard + "'");
            }
        } else if (arg == "--jobs-json" || arg == "--dry-run" || arg == "--fail-fast" ||
                   arg == "--skip-existing") {
            if (inlineValue) Usage(arg + " takes no value");
            bool& flag = arg == "--jobs-json"   ? options.jobsJson
                         : arg == "--dry-run"   ? options.dryRun
                         : arg == "--fail-fast" ? options.failFast
                                                : options.skipExisting;
            flag = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            Usage("unknown option '" + arg + "'");
        } else {
            options.inputs.push_back(arg);
        }
    }
    if (!haveCommand || options.command.empty()) {
        Usage("no command: end the options with -- COMMAND (" + BatchCommandNames() + ")");
    }
    if (FindBatchCommand(options.command[0]) == nullptr) {
        Usage("'" + options.command[0] + "' cannot run in a batch (" + BatchCommandNames() + ")");
    }
    if (options.outputFolder.empty()) Usage("-o DIR is required");
    if (options.inputs.empty() && options.filesFrom.empty()) Usage("no archives given");
    return options;
}

const BatchCommand* FindBatchCommand(const std::string& name) {
    for (const BatchCommand& command : kCommands) {
        if (name == command.name) return &command;
    }
    return nullptr;
}

std::string BatchCommandNames() {
    std::string names;
    for (const BatchCommand& command : kCommands) {
        names += (names.empty() ? "" : ", ") + std::string(command.name);
    }
    return names;
}

std::vector<std::string> SplitFileList(const std::string& text) {
    const char separator = text.find('\0') != std::string::npos ? '\0' : '\n';
    std::vector<std::string> paths;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::string::npos) end = text.size();
        std::string path = text.substr(start, end - start);
        if (separator == '\n' && !path.empty() && path.back() == '\r') path.pop_back();
        if (!path.empty()) paths.push_back(std::move(path));
        start = end + 1;
    }
    return paths;
}

std::vector<BatchInput> ExpandInputs(const std::vector<std::string>& paths) {
    std::vector<BatchInput> inputs;
    for (const std::string& path : paths) {
        std::error_code error;
        const fs::file_status status = fs::status(path, error);
        if (fs::is_directory(status)) {
            std::vector<std::string> found;
            fs::recursive_directory_iterator it(path, error), end;
            for (; !error && it != end; it.increment(error)) {
                std::error_code ignored;
                if (it->is_regular_file(ignored) && Lower(it->path().extension()) == ".qxa") {
                    found.push_back(it->path().string());
                }
            }
            if (error) {
                inputs.push_back({path, "cannot read the folder: " + error.message()});
                continue;
            }
            std::sort(found.begin(), found.end());
            for (std::string& file : found) inputs.push_back({std::move(file), ""});
        } else if (fs::is_regular_file(status)) {
            inputs.push_back({path, ""});
        } else if (error) {
            inputs.push_back({path, error.message()});
        } else {
            inputs.push_back({path, "not a file or folder"});
        }
    }
    return inputs;
}

std::vector<std::string> OutputFolderNames(const std::vector<BatchInput>& inputs) {
    std::set<std::string> taken;
    std::vector<std::string> names;
    for (const BatchInput& input : inputs) {
        std::string stem = fs::path(input.path).stem().string();
        if (stem.empty() || stem == "." || stem == "..") stem = "archive";
        std::string name = stem;
        for (int n = 2; !taken.insert(Lower(name)).second; ++n) {
            name = stem + "-" + std::to_string(n);
        }
        names.push_back(std::move(name));
    }
    return names;
}

std::vector<std::string> ChildArguments(const std::vector<std::string>& command,
                                        const BatchCommand& spec, const std::string& archive,
                                        const std::string& folder) {
    std::vector<std::string> args = {command[0], archive};
    if (spec.takesOutputFolder) {
        args.push_back("-o");
        args.push_back(folder);
    }
    args.insert(args.end(), command.begin() + 1, command.end());
    return args;
}

}  // namespace pixhaul::cli
