#include "qxa_app.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <iostream>
#include <new>

#include "cli_host.h"
#include "command_list.h"
#include "pixhaul_version.h"
#include "platform/atomic_file.h"
#include "platform/temporary_registry.h"
#include "terminal_text.h"

namespace pixhaul::cli {

namespace {

int ParseFailure(CLI::App& app, const CLI::ParseError& e, std::ostream& out, std::ostream& err) {
    if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
        return app.exit(e, out, err);  // --help, --version
    }
    err << "qxa: " << TerminalText(e.what()) << "\nRun 'qxa --help' for usage.\n";
    return kExitUsage;
}

}  // namespace

int RunQxa(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           bool stderrIsTerminal) {
    CLI::App app{"Gets the sprites out of QXA sprite archives.", "qxa"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "qxa " PIXHAUL_VERSION);
    std::vector<std::unique_ptr<Command>> commands = MakeCommands(args.size() > 1 ? args[1] : "");
    std::vector<CLI::App*> subcommands;
    for (auto& command : commands) subcommands.push_back(command->Register(app));

    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::ParseError& e) {
        return ParseFailure(app, e, out, err);
    }

    CliHost host(err, stderrIsTerminal);
    CommandContext context{out, err, host};
    // After Ctrl+C the work stops between two steps, whatever status that leaves it in, and
    // what it was writing has gone with the unwinding.
    const auto interrupted = [&] {
        host.EndProgress();
        host.Tell("interrupted: nothing more was written");
        return kExitInterrupted;
    };
    try {
        for (std::size_t i = 0; i < commands.size(); ++i) {
            if (!subcommands[i]->parsed()) continue;
            const int code = commands[i]->Run(context);
            return host.IsCanceled() ? interrupted() : code;
        }
        err << "qxa: no command given\nRun 'qxa --help' for usage.\n";
        return kExitUsage;
    } catch (const WorkCanceled&) {
        return interrupted();
    } catch (const CommandError& e) {
        if (host.IsCanceled()) return interrupted();
        if (*e.what() != '\0') host.Tell(e.what());
        return e.ExitCode();
    } catch (const FileError& e) {
        host.Tell("cannot write '" + TerminalText(e.Path()) + "': " + e.Description());
        return kExitFailure;
    } catch (const std::bad_alloc&) {
        host.Tell("out of memory");
        return kExitFailure;
    } catch (const std::exception& e) {
        host.Tell(e.what());
        return kExitFailure;
    }
}

int RunQxa(int argc, char** argv) {
    // Ctrl+C stops the work (exit 130); its temporaries go with the unwinding. SIGTERM, SIGHUP
    // and a second Ctrl+C remove them and exit at once.
    InstallTemporaryCleanupOnSignals();
    std::vector<std::string> args(argv, argv + argc);
    if (args.empty()) args.emplace_back("qxa");
    return RunQxa(args, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1);
}

}  // namespace pixhaul::cli
