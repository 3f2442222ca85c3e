// qxa sif-decode FILE.sif -o OUT.bmp|OUT.png [--json TABLES.json]: a SIF file's sheet as a
// picture, and its tables as JSON.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <optional>
#include <string>

#include "budget_flags.h"
#include "cli_host.h"
#include "command_list.h"
#include "export/sif_decode.h"
#include "image_files.h"
#include "platform/replace_check.h"
#include "qxa_app.h"

namespace pixhaul::cli {

namespace {

// The picture format named by the output's extension.
SheetFormat FormatOfPath(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        std::string extension = path.substr(dot + 1);
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (extension == "png") return SheetFormat::Png;
        if (extension == "bmp") return SheetFormat::Bmp;
    }
    throw CommandError(kExitUsage, "-o: '" + path + "' must end in .bmp or .png");
}

class SifDecodeCommand : public Command {
  public:
    CLI::App* Register(CLI::App& app) override {
        CLI::App* sub =
            app.add_subcommand("sif-decode", "Turn a SIF file back into a picture and tables");
        sub->add_option("FILE", file_, "The SIF file")->required();
        sub->add_option("-o,--output", output_, "The picture to write, .bmp or .png")->required();
        sub->add_option("--json", json_, "Also write the tables to this JSON file");
        budget_.Register(*sub);
        AddPngLevelOption(*sub, pngLevel_);
        return sub;
    }

    int Run(CommandContext& context) override {
        const SheetFormat format = FormatOfPath(output_);
        // Neither output may replace the SIF file being read, nor anything but a regular file.
        const std::optional<FileIdentity> input = IdentityOf(file_);
        CheckReplaceable(output_, input);
        if (!json_.empty()) CheckReplaceable(json_, input);
        if (const auto planned = PlannedSifDecode(file_, output_, format == SheetFormat::Bmp)) {
            budget_.Require(*planned);
        }
        const std::string error = DecodeSif({.Sif = file_,
                                             .Picture = output_,
                                             .Format = format,
                                             .PngLevel = pngLevel_,
                                             .Tables = json_});
        if (!error.empty()) throw CommandError(kExitFailure, error);
        (void)context;
        return kExitOk;
    }

  private:
    std::string file_;
    std::string output_;
    std::string json_;
    BudgetFlags budget_;
    int pngLevel_ = kPngDefaultCompression;
};

}  // namespace

std::unique_ptr<Command> MakeSifDecodeCommand() {
    return std::make_unique<SifDecodeCommand>();
}

}  // namespace pixhaul::cli
