#pragma once
// What qxa atlas and qxa frames share: the archive and its selection, the images loaded, the
// transparent colour, the PNG level and the output budget; and how the outcome is reported.
#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "budget_flags.h"
#include "command.h"
#include "formats/png_writer.h"
#include "selection_flags.h"
#include "web_colour.h"

namespace CLI {
class App;
}

namespace pixhaul::cli {

class FrameExportFlags {
  public:
    // ARCHIVE and the selection (registered first), then everything else (registered last, after
    // the command's own options).
    void RegisterSource(CLI::App& command);
    void RegisterOutput(CLI::App& command);

    // Reads the transparent colour into settings (a usage error first), loads the archive and
    // resolves the selection. settings.ArchivePath is the archive.
    Selection Load(ArchiveModel& model, Settings& settings, CliHost& host);

    int PngLevel() const { return pngLevel_; }
    OutputBudget Budget() const { return budget_.Budget(); }

    // Prints the paths written and gives the exit code; throws CommandError when nothing was
    // selected or the export did not finish.
    int Report(CommandContext& context, bool noSelection, bool written,
               const std::vector<std::string>& paths,
               const std::vector<std::int32_t>& corruptImages) const;

  private:
    std::string archive_;
    SelectionFlags selection_;
    bool thumbnails_ = false;
    std::string trans_ = kDefaultTransText;
    int pngLevel_ = kPngDefaultCompression;
    BudgetFlags budget_;
    LoadStatus load_ = LoadStatus::NotStarted;
};

}  // namespace pixhaul::cli
