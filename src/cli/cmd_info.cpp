// qxa info ARCHIVE [--thumbnails] [--problems] [--json]: what an archive holds, in figures, and
// what is wrong with it.
#include <CLI/CLI.hpp>
#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>

#include "archive_loading.h"
#include "cli_host.h"
#include "command_list.h"
#include "qxa_app.h"
#include "terminal_text.h"

namespace pixhaul::cli {

namespace {

struct ArchiveFigures {
    int version = 0;
    std::size_t imageBlocks = 0;
    std::size_t images = 0;
    std::int64_t objects = 0;
    std::int64_t totalFrames = 0;
    std::map<int, std::int64_t> types;  // eType -> images, in numeric order
};

ArchiveFigures Measure(const ArchiveModel& model) {
    ArchiveFigures f;
    f.version = model.Version;
    f.imageBlocks = model.ImageBlockPos.size();
    f.images = LoadedImageCount(model);
    for (std::size_t i = 0; i < f.images; ++i) ++f.types[model.Images[i].eType];
    f.objects = model.ObjectCount;
    f.totalFrames = model.TotalFrames;
    return f;
}

std::string TypeName(int type) {
    switch (type) {
        case kPaletteType:
            return "palette";
        case k15BitType:
            return "15-bit";
        case k24BitType:
            return "24-bit";
        default:
            return "unknown";
    }
}

// The problems as a JSON array of {offset, message}; offset is null for the file as a whole.
std::string ProblemsJson(const std::vector<LoadProblem>& problems) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const LoadProblem& problem : problems) {
        nlohmann::ordered_json entry;
        if (problem.offset == LoadProblem::kWholeFile) {
            entry["offset"] = nullptr;
        } else {
            entry["offset"] = problem.offset;
        }
        entry["message"] = problem.message;
        list.push_back(std::move(entry));
    }
    // Action names come from the file as Latin-1 made UTF-8; anything else is replaced.
    return list.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

void PrintProblems(std::ostream& out, const std::vector<LoadProblem>& problems) {
    for (const LoadProblem& problem : problems) {
        out << (problem.offset == LoadProblem::kWholeFile ? std::string("-")
                                                          : std::to_string(problem.offset))
            << ": " << TerminalText(problem.message) << '\n';
    }
}

void PrintJson(std::ostream& out, const ArchiveFigures& f,
               const std::vector<LoadProblem>& problems) {
    out << "{\"version\": " << f.version << ", \"image_blocks\": " << f.imageBlocks
        << ", \"images\": " << f.images << ", \"objects\": " << f.objects
        << ", \"total_frames\": " << f.totalFrames << ", \"types\": {";
    const char* separator = "";
    for (const auto& [type, count] : f.types) {
        out << separator << '"' << type << "\": " << count;
        separator = ", ";
    }
    out << "}, \"problems\": " << ProblemsJson(problems) << "}\n";
}

void PrintText(std::ostream& out, const ArchiveFigures& f) {
    out << "Version:      " << f.version;
    if (f.version >= 0x20 && f.version < 0x7f) out << " ('" << static_cast<char>(f.version) << "')";
    out << "\nImage blocks: " << f.imageBlocks << "\nImages:       " << f.images
        << "\nObjects:      " << f.objects << "\nFrames:       " << f.totalFrames << '\n';
    for (const auto& [type, count] : f.types) {
        out << "  type " << type << " (" << TypeName(type) << "): " << count << " images\n";
    }
}

class InfoCommand : public Command {
  public:
    CLI::App* Register(CLI::App& app) override {
        CLI::App* sub = app.add_subcommand("info", "Show what an archive holds");
        sub->add_option("ARCHIVE", archive_, "The QXA archive")->required();
        sub->add_flag("--thumbnails", thumbnails_, "Load image block 0 (thumbnails and icons)");
        sub->add_flag("--problems", problems_,
                      "List every problem of a damaged archive with its byte offset");
        sub->add_flag("--json", json_, "Print one JSON object (with a \"problems\" array)");
        return sub;
    }

    int Run(CommandContext& context) override {
        context.host.SetOption(Option::LoadThumbnails, thumbnails_);
        ArchiveModel model;
        // Figures only: nothing is rendered, so the file's bytes need not be kept.
        const LoadResult load = LoadForCommand(model, archive_, context.host, LoadKind::IndexOnly);
        const ArchiveFigures figures = Measure(model);
        if (json_) {
            PrintJson(context.out, figures, load.problems);
        } else if (problems_) {
            PrintProblems(context.out, load.problems);
        } else {
            PrintText(context.out, figures);
        }
        // The figures are those of what could be read; 3 says there was more.
        return load.status == LoadStatus::Damaged ? kExitSomeImagesFailed : kExitOk;
    }

  private:
    std::string archive_;
    bool thumbnails_ = false;
    bool json_ = false;
    bool problems_ = false;
};

}  // namespace

std::unique_ptr<Command> MakeInfoCommand() {
    return std::make_unique<InfoCommand>();
}

}  // namespace pixhaul::cli
