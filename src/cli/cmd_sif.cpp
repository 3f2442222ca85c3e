// qxa sif ARCHIVE --object O [-o DIR] [--name NAME] [--keep-duplicates] [--thumbnails]
//          [--trans RRGGBB]: one object as a SIF file, named like the window's SIF export.
#include <CLI/CLI.hpp>
#include <ostream>

#include "archive_loading.h"
#include "budget_flags.h"
#include "cli_host.h"
#include "command_list.h"
#include "export/naming.h"
#include "export/sif_export.h"
#include "output_folder.h"
#include "qxa_app.h"
#include "terminal_text.h"
#include "web_colour.h"

namespace pixhaul::cli {

namespace {

class SifCommand : public Command {
  public:
    CLI::App* Register(CLI::App& app) override {
        CLI::App* sub = app.add_subcommand("sif", "Write one object as a SIF file");
        sub->add_option("ARCHIVE", archive_, "The QXA archive")->required();
        sub->add_option("--object", object_, "The object (0-based, as listed)")->required();
        sub->add_option("-o,--output", folder_, "Folder for the file (default: current folder)");
        sub->add_option("--name", name_, "File name without .sif (default: the object's text)");
        sub->add_flag("--keep-duplicates", keepDuplicates_,
                      "Keep frames whose image is already on the sheet");
        sub->add_flag("--thumbnails", thumbnails_, "Load image block 0 (thumbnails and icons)");
        sub->add_option("--trans", trans_, "Colour in place of black, RRGGBB")
            ->capture_default_str();
        budget_.Register(*sub);
        return sub;
    }

    int Run(CommandContext& context) override {
        Settings settings;
        settings.TransColor = WebColourOption("--trans", trans_);
        CliHost& host = context.host;
        host.SetOption(Option::LoadThumbnails, thumbnails_);
        host.SetOption(Option::RemoveDuplicateFrames, !keepDuplicates_);
        ArchiveModel model;
        const LoadResult load = LoadForCommand(model, archive_, host);
        if (object_ < 0 || object_ >= model.ObjectCount) {
            throw CommandError(kExitFailure, "--object " + std::to_string(object_) +
                                                 ": the archive holds " +
                                                 std::to_string(model.ObjectCount) + " objects");
        }
        if (!folder_.empty()) MakeOutputFolder(folder_);
        settings.ExportFolder = folder_;
        // A name given with the extension of one of our files loses it; any other dot is kept.
        settings.ExportName = RemoveKnownExtension(name_);

        host.SetProgressLabel("Writing SIF");
        const SifExportResult result = ExportSif(model, settings, host, object_, budget_.Budget());
        host.EndProgress();
        if (result.status != SifExportStatus::Written) throw CommandError(kExitFailure, "");
        context.out << TerminalText(result.path) << '\n';
        return ExportExitCode(result.corruptImages, load.status, host);
    }

  private:
    std::string archive_;
    std::int32_t object_ = -1;
    std::string folder_;
    std::string name_;
    bool keepDuplicates_ = false;
    bool thumbnails_ = false;
    std::string trans_ = kDefaultTransText;
    BudgetFlags budget_;
};

}  // namespace

std::unique_ptr<Command> MakeSifCommand() {
    return std::make_unique<SifCommand>();
}

}  // namespace pixhaul::cli
