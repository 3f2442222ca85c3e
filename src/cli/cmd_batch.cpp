// qxa batch INPUT... -o DIR [-j N] [--files-from FILE|-] [--jobs-json] [--dry-run] [--fail-fast]
//           [--shard K/N] [--skip-existing] -- COMMAND [ARGS]:
// one archive command over many archives, each in a child process of this same program, a few at
// once, each archive's files in a folder of its own; one JSON line per archive, in input order.
#include <sys/auxv.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>
#include <system_error>

#include "batch_plan.h"
#include "batch_runner.h"
#include "command_list.h"
#include "output_folder.h"
#include "platform/atomic_file.h"
#include "platform/usable_cores.h"
#include "qxa_app.h"

namespace pixhaul::cli {

namespace {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

// The byte offset a message names ("... at byte offset 21841 ..."), if any.
std::optional<std::uint64_t> ByteOffsetIn(const std::string& message) {
    constexpr std::string_view kWords = "byte offset ";
    for (auto at = message.find(kWords); at != std::string::npos;
         at = message.find(kWords, at + 1)) {
        const char* first = message.data() + at + kWords.size();
        const char* last = message.data() + message.size();
        std::uint64_t offset = 0;
        const auto [end, error] = std::from_chars(first, last, offset);
        if (error == std::errc() && end != first) return offset;
    }
    return std::nullopt;
}

std::string ReadList(const std::string& path) {
    if (path == "-") {
        return {std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) throw CommandError(kExitFailure, "--files-from: cannot read '" + path + "'");
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string SelfProgram() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error) return self.string();
    // Without /proc (a bare chroot or container): the path this program was started by. It
    // holds for the workers, as the current folder has not changed since.
    const auto* started = reinterpret_cast<const char*>(::getauxval(AT_EXECFN));
    if (started != nullptr && ::access(started, X_OK) == 0) return started;
    throw CommandError(kExitFailure, "cannot find this program: " + error.message());
}

// The child's messages without the "qxa: " prefix, one a line.
std::string ChildMessage(const std::string& err) {
    std::string message;
    std::size_t start = 0;
    while (start < err.size()) {
        std::size_t end = err.find('\n', start);
        if (end == std::string::npos) end = err.size();
        std::string line = err.substr(start, end - start);
        if (line.rfind("qxa: ", 0) == 0) line.erase(0, 5);
        if (!line.empty()) message += (message.empty() ? "" : "\n") + line;
        start = end + 1;
    }
    return message;
}

// Files under folder, relative to it, sorted.
json ListOutputs(const fs::path& folder) {
    std::vector<std::string> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code ignored;
        if (it->is_regular_file(ignored)) {
            files.push_back(fs::relative(it->path(), folder, ignored).string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

const char* StatusOf(const ChildResult& result) {
    if (!result.started) return "skipped";
    if (result.exitCode == kExitOk) return "ok";
    if (result.exitCode == kExitSomeImagesFailed) return "damaged";
    return "error";
}

struct Planned {
    BatchInput input;
    fs::path folder;
    std::string skipReason;
    ChildJob job;
};

class BatchArchivesCommand : public Command {
  public:
    CLI::App* Register(CLI::App& app) override {
        sub_ = app.add_subcommand("batch", "Run an archive command over many archives");
        sub_->prefix_command();
        sub_->allow_extras();
        sub_->footer(
            "Usage: qxa batch INPUT... -o DIR [-j N] [--files-from FILE|-] [--jobs-json]\n"
            "         [--dry-run] [--fail-fast] [--shard K/N] [--skip-existing] -- COMMAND "
            "[ARGS]\n"
            "INPUT: archives and folders (searched for *.qxa). COMMAND: " +
            BatchCommandNames() +
            ".\nEach archive's files go to DIR/NAME/; one JSON line per archive on stdout.");
        return sub_;
    }

    int Run(CommandContext& context) override {
        const BatchOptions options = ParseBatchArguments(sub_->remaining());
        const pixhaul::cli::BatchCommand& spec = *FindBatchCommand(options.command[0]);
        std::vector<std::string> paths = options.inputs;
        if (!options.filesFrom.empty()) {
            for (std::string& path : SplitFileList(ReadList(options.filesFrom))) {
                paths.push_back(std::move(path));
            }
        }
        // Folder names come from the whole collection, so a shard names its folders as the
        // whole batch would.
        const std::vector<BatchInput> all = ExpandInputs(paths);
        const std::vector<std::string> allNames = OutputFolderNames(all);
        std::vector<BatchInput> inputs;
        std::vector<std::string> names;
        for (std::size_t i = options.shardIndex; i < all.size(); i += options.shardCount) {
            inputs.push_back(all[i]);
            names.push_back(allNames[i]);
        }
        std::string stdoutFile = spec.stdoutFile != nullptr ? spec.stdoutFile : "";
        if (std::find(options.command.begin(), options.command.end(), "--json") !=
                options.command.end() &&
            !stdoutFile.empty()) {
            stdoutFile = fs::path(stdoutFile).replace_extension(".json").string();
        }

        std::vector<Planned> plan;
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            Planned p{inputs[i], fs::path(options.outputFolder) / names[i], "", {}};
            // A path that starts with '-' would read as an option to the child.
            const std::string archive =
                inputs[i].path.rfind('-', 0) == 0 ? "./" + inputs[i].path : inputs[i].path;
            p.job.args = ChildArguments(options.command, spec, archive, p.folder.string());
            std::error_code error;
            if (!p.input.error.empty()) {
                p.job.run = false;
            } else if (options.skipExisting && fs::exists(p.folder, error)) {
                p.job.run = false;
                p.skipReason = "the output folder exists";
            }
            plan.push_back(std::move(p));
        }
        if (options.dryRun || options.jobsJson) return PrintPlan(context, options, plan);

        MakeOutputFolder(options.outputFolder);
        std::error_code error;
        for (Planned& p : plan) {
            if (p.job.run) fs::create_directory(p.folder, error);
        }
        return RunPlan(context, options, plan, stdoutFile);
    }

  private:
    static int PrintPlan(CommandContext& context, const BatchOptions& options,
                         const std::vector<Planned>& plan) {
        for (const Planned& p : plan) {
            const std::string skip = !p.input.error.empty() ? p.input.error : p.skipReason;
            if (options.jobsJson) {
                json line = {{"path", p.input.path}, {"output", p.folder.string()}};
                line["args"] = p.job.args;
                if (!skip.empty()) line["skip"] = skip;
                context.out << line.dump() << '\n';
            } else {
                context.out << p.input.path << " -> " << p.folder.string();
                if (!skip.empty()) context.out << "  (skipped: " << skip << ")";
                context.out << '\n';
            }
        }
        return kExitOk;
    }

    static int RunPlan(CommandContext& context, const BatchOptions& options,
                       const std::vector<Planned>& plan, const std::string& stdoutFile) {
        std::vector<ChildJob> jobs;
        for (const Planned& p : plan) jobs.push_back(p.job);
        RunnerSettings settings;
        settings.program = SelfProgram();
        const unsigned cores = UsableCores();
        settings.parallel = options.jobs > 0 ? static_cast<std::size_t>(options.jobs) : cores;
        // Each child gets its share of the cores, so N children do not start N x cores threads.
        const auto running = static_cast<std::size_t>(
            std::count_if(jobs.begin(), jobs.end(), [](const ChildJob& job) { return job.run; }));
        const std::size_t atOnce = std::max<std::size_t>(1, std::min(settings.parallel, running));
        settings.environment.push_back(std::string(kThreadsVariable) + "=" +
                                       std::to_string(std::max<std::size_t>(1, cores / atOnce)));
        settings.stopAfterFailure = options.failFast;
        std::map<std::string, int> counts = {
            {"ok", 0}, {"damaged", 0}, {"error", 0}, {"skipped", 0}};
        const auto began = std::chrono::steady_clock::now();
        const bool complete = RunChildren(jobs, settings, [&](std::size_t i, const ChildResult& r) {
            const Planned& p = plan[i];
            std::string status = StatusOf(r);
            json line = {{"path", p.input.path}};
            std::string message = ChildMessage(r.err);
            if (!p.input.error.empty()) {
                status = "error";
                message = p.input.error;
            } else if (!r.started) {
                line["reason"] = p.skipReason.empty() ? "not started" : p.skipReason;
            }
            if (r.started && !stdoutFile.empty() && status != "error") {
                AtomicFile file((p.folder / stdoutFile).string());
                file.Write(r.out.data(), r.out.size());
                file.Commit();
            }
            std::error_code ignored;
            if (p.job.run) fs::remove(p.folder, ignored);  // only when the child left it empty
            line["status"] = status;
            line["output"] = p.folder.string();
            if (status != "skipped") line["outputs"] = ListOutputs(p.folder);
            if (r.started) line["ms"] = static_cast<std::int64_t>(r.ms + 0.5);
            if (r.started) line["exit"] = r.exitCode;
            if (!message.empty() && status != "ok") {
                line["error"] = message;
                if (const auto offset = ByteOffsetIn(message)) line["offset"] = *offset;
            }
            ++counts[status];
            context.out << line.dump() << '\n' << std::flush;
        });
        json summary = counts;
        summary["archives"] = plan.size();
        summary["ms"] = static_cast<std::int64_t>(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began)
                .count());
        if (!complete) summary["interrupted"] = true;
        context.out << json{{"summary", summary}}.dump() << '\n' << std::flush;
        if (!complete) return kExitInterrupted;
        return counts["damaged"] + counts["error"] > 0 ? kExitFailure : kExitOk;
    }

    CLI::App* sub_ = nullptr;
};

}  // namespace

std::unique_ptr<Command> MakeBatchCommand() {
    return std::make_unique<BatchArchivesCommand>();
}

}  // namespace pixhaul::cli
