#include "frame_export_flags.h"

#include <CLI/CLI.hpp>
#include <ostream>

#include "archive_loading.h"
#include "cli_host.h"
#include "image_files.h"
#include "qxa_app.h"
#include "terminal_text.h"

namespace pixhaul::cli {

void FrameExportFlags::RegisterSource(CLI::App& command) {
    command.add_option("ARCHIVE", archive_, "The QXA archive")->required();
    selection_.Register(command);
}

void FrameExportFlags::RegisterOutput(CLI::App& command) {
    command.add_flag("--thumbnails", thumbnails_, "Load image block 0 (thumbnails and icons)");
    command.add_option("--trans", trans_, "The transparent colour, RRGGBB")->capture_default_str();
    AddPngLevelOption(command, pngLevel_);
    budget_.Register(command);
}

Selection FrameExportFlags::Load(ArchiveModel& model, Settings& settings, CliHost& host) {
    settings.TransColor = WebColourOption("--trans", trans_);
    host.SetOption(Option::LoadThumbnails, thumbnails_);
    load_ = LoadForCommand(model, archive_, host).status;
    settings.ArchivePath = archive_;
    return selection_.Resolve(model);
}

int FrameExportFlags::Report(CommandContext& context, bool noSelection, bool written,
                             const std::vector<std::string>& paths,
                             const std::vector<std::int32_t>& corruptImages) const {
    context.host.EndProgress();
    for (const std::string& path : paths) context.out << TerminalText(path) << '\n';
    if (noSelection) {
        throw CommandError(kExitFailure, "Nothing to export: the selection holds no frames.");
    }
    if (!written) throw CommandError(kExitFailure, "");
    return ExportExitCode(corruptImages, load_, context.host);
}

}  // namespace pixhaul::cli
