// qxa sif-decode FILE.sif -o OUT.bmp|OUT.png [--json TABLES.json]: a SIF file's sheet as a
// picture, and its tables as JSON.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli_host.h"
#include "command_list.h"
#include "export/sif_reader.h"
#include "image_files.h"
#include "platform/atomic_file.h"
#include "qxa_app.h"

namespace pixhaul::cli {

namespace {

// The picture format named by the output's extension.
ImageFormat FormatOfPath(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        std::string extension = path.substr(dot + 1);
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (extension == "png") return ImageFormat::Png;
        if (extension == "bmp") return ImageFormat::Bmp;
    }
    throw CommandError(kExitUsage, "-o: '" + path + "' must end in .bmp or .png");
}

std::string WebColour(COLORREF colour) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X%02X", RedOf(colour), GreenOf(colour),
                  BlueOf(colour));
    return text;
}

nlohmann::json TablesJson(const SifContents& sif) {
    nlohmann::json actions = nlohmann::json::array();
    for (const SifAction& action : sif.Actions) {
        nlohmann::json directions = nlohmann::json::array();
        for (const SifDirection& direction : action.Directions) {
            nlohmann::json frames = nlohmann::json::array();
            for (const SifFrame& f : direction.Frames) {
                frames.push_back({{"x", f.X},
                                  {"y", f.Y},
                                  {"width", f.Width},
                                  {"height", f.Height},
                                  {"reserved", f.Reserved},
                                  {"extra1", f.Extra1},
                                  {"extra2", f.Extra2}});
            }
            directions.push_back({{"frames", std::move(frames)}});
        }
        actions.push_back({{"directions", std::move(directions)}});
    }
    return {{"image_pos", sif.ImagePos},
            {"back_color", WebColour(sif.Image.BackColor)},
            {"sheet_width", sif.Image.SheetWidth},
            {"sheet_height", sif.Image.SheetHeight},
            {"rle_kind", sif.Image.RleKind},
            {"payload_length", static_cast<std::int64_t>(sif.Image.PayloadLast) + 1},
            {"payload_form", sif.PayloadCoded ? "coded" : "stored"},
            {"actions", std::move(actions)}};
}

class SifDecodeCommand : public Command {
  public:
    CLI::App* Register(CLI::App& app) override {
        CLI::App* sub =
            app.add_subcommand("sif-decode", "Turn a SIF file back into a picture and tables");
        sub->add_option("FILE", file_, "The SIF file")->required();
        sub->add_option("-o,--output", output_, "The picture to write, .bmp or .png")->required();
        sub->add_option("--json", json_, "Also write the tables to this JSON file");
        AddPngLevelOption(*sub, pngLevel_);
        return sub;
    }

    int Run(CommandContext& context) override {
        const ImageFormat format = FormatOfPath(output_);
        SifContents sif;
        const std::string error = ReadSifFile(file_, sif);
        if (!error.empty()) throw CommandError(kExitFailure, file_ + ": " + error);
        WriteImageFile(output_, sif.Sheet, format, StaleTemporaries::Remove, pngLevel_);
        if (!json_.empty()) {
            const std::string text = TablesJson(sif).dump(2) + "\n";
            AtomicFile file(json_);
            file.Write(text.data(), text.size());
            file.Commit();
        }
        (void)context;
        return kExitOk;
    }

  private:
    std::string file_;
    std::string output_;
    std::string json_;
    int pngLevel_ = kPngDefaultCompression;
};

}  // namespace

std::unique_ptr<Command> MakeSifDecodeCommand() {
    return std::make_unique<SifDecodeCommand>();
}

}  // namespace pixhaul::cli
