// qxa sif-decode FILE.sif -o OUT.bmp|OUT.png [--json TABLES.json]: a SIF file's sheet as a
// picture, and its tables as JSON.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>

#include "budget_flags.h"
#include "cli_host.h"
#include "command_list.h"
#include "formats/bmp_writer.h"
#include "formats/png_writer.h"
#include "formats/sif_reader.h"
#include "image_files.h"
#include "platform/atomic_file.h"
#include "platform/byte_source.h"
#include "platform/job_thread.h"
#include "platform/page_buffer.h"
#include "platform/replace_check.h"
#include "platform/usable_cores.h"
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

// Writes the tables as JSON while the reader walks them: the same text an indented dump of a
// JSON document of them gives (keys in alphabetical order, two spaces a level), without ever
// holding the document.
class JsonTables : public SifTableVisitor {
  public:
    explicit JsonTables(const std::string& path) : file_(path) { text_ = "{\n  \"actions\": ["; }

    void BeginAction(std::int16_t lastDirection) override {
        Item(actions_, 2);
        text_ += "{\n      \"directions\": [";
        directions_ = 0;
        (void)lastDirection;
    }
    void BeginDirection(std::int16_t lastFrame) override {
        Item(directions_, 6);
        text_ += "{\n          \"frames\": [";
        frames_ = 0;
        (void)lastFrame;
    }
    void Frame(const SifFrame& f) override {
        Item(frames_, 10);
        const std::pair<const char*, std::int32_t> fields[] = {{"extra1", f.Extra1},
                                                               {"extra2", f.Extra2},
                                                               {"height", f.Height},
                                                               {"reserved", f.Reserved},
                                                               {"width", f.Width},
                                                               {"x", f.X},
                                                               {"y", f.Y}};
        text_ += "{";
        const char* separator = "\n";
        for (const auto& [key, value] : fields) {
            text_ += separator;
            text_ += "              \"";
            text_ += key;
            text_ += "\": ";
            text_ += std::to_string(value);
            separator = ",\n";
        }
        text_ += "\n            }";
        if (text_.size() > kFlushBytes) Flush();
    }
    void EndDirection() override {
        Close(frames_, 10);
        text_ += "\n        }";
    }
    void EndAction() override {
        Close(directions_, 6);
        text_ += "\n    }";
    }

    // The fields after the tables, then the file is put in place.
    void Commit(const SifContents& sif) {
        Close(actions_, 2);
        const std::pair<const char*, std::string> fields[] = {
            {"back_color", "\"" + WebColour(sif.Image.BackColor) + "\""},
            {"image_pos", std::to_string(sif.ImagePos)},
            {"payload_form", sif.PayloadCoded ? "\"coded\"" : "\"stored\""},
            {"payload_length",
             std::to_string(static_cast<std::int64_t>(sif.Image.PayloadLast) + 1)},
            {"rle_kind", std::to_string(sif.Image.RleKind)},
            {"sheet_height", std::to_string(sif.Image.SheetHeight)},
            {"sheet_width", std::to_string(sif.Image.SheetWidth)}};
        for (const auto& [key, value] : fields) {
            text_ += ",\n  \"";
            text_ += key;
            text_ += "\": ";
            text_ += value;
        }
        text_ += "\n}\n";
        Flush();
        file_.Commit();
    }

  private:
    static constexpr std::size_t kFlushBytes = std::size_t{1} << 16;

    // Starts an element of an array whose elements are indented by `indent` + 2 spaces.
    void Item(std::size_t& count, int indent) {
        text_ += count++ == 0 ? "\n" : ",\n";
        text_.append(static_cast<std::size_t>(indent) + 2, ' ');
    }
    // Ends an array whose key is indented by `indent` spaces: "[]" when it has no element.
    void Close(std::size_t count, int indent) {
        if (count == 0) {
            text_ += "]";
            return;
        }
        text_ += "\n";
        text_.append(static_cast<std::size_t>(indent), ' ');
        text_ += "]";
    }
    void Flush() {
        file_.Write(text_.data(), text_.size());
        text_.clear();
    }

    AtomicFile file_;
    std::string text_;
    std::size_t actions_ = 0;
    std::size_t directions_ = 0;
    std::size_t frames_ = 0;
};

// Memory for one band of the sheet (at least one row). A band small enough to stay in the
// processor's cache while it is decoded is copied into the file far faster than one that has
// gone out to memory, and large enough that write calls and hand-overs to the writing thread
// are rare (1 MiB bands cost 4-6 ms more CPU on a 258 MB sheet; 4 MiB ones now and then
// several times as much). Bands are made with their pages in place: faulted in one page at a
// time, they with the uncoded chunks and the read window took 2,000 page faults, 7% of the CPU
// of decoding a 258 MB sheet.
constexpr std::int64_t kBandBytes = std::int64_t{2} << 20;

std::string Where(const std::string& file, const std::string& error) {
    return file + ": " + error;
}

// Decodes the sheet band by band straight into the picture file. A BMP takes the rows in the
// stream's own order (bottom up). A PNG takes them from the top: a first pass checks the whole
// stream and marks where each band starts, a second decodes the bands top band first.
void WriteSheet(SifSheetReader& reader, const SifContents& sif, const std::string& sifPath,
                const std::string& output, ImageFormat format, int pngLevel) {
    const std::int32_t width = sif.Image.SheetWidth;
    const std::int32_t height = sif.Image.SheetHeight;
    auto check = [&](const std::string& error) {
        if (!error.empty()) throw CommandError(kExitFailure, Where(sifPath, error));
    };
    if (width == 0 || height == 0) {
        check(reader.ReadRows(nullptr, 0, height));
        check(reader.Finish());
        WriteImageFile(output, Surface(width, height), format);
        return;
    }
    const std::int64_t stride = StrideFor(width);
    const auto bandRows =
        static_cast<std::int32_t>(std::clamp<std::int64_t>(kBandBytes / stride, 1, height));
    const auto bandBytes = static_cast<std::size_t>(stride * bandRows);
    PageBuffer band = MakePageBuffer(bandBytes);
    auto rowsOf = [&](std::int32_t first) { return std::min(bandRows, height - first); };

    if (format == ImageFormat::Bmp) {
        BmpWriter writer(output, width, height);
        // With a core to spare, a band is written on a thread of its own while the next one is
        // decoded into a second band.
        PageBuffer spare = MakePageBuffer(bandBytes);
        JobThread writing(UsableCores() > 1);
        for (std::int32_t row = 0; row < height; row += bandRows) {
            const std::int32_t rows = rowsOf(row);
            check(reader.ReadRows(band.get(), stride, rows));
            writing.Run([&writer, bits = band.get(), stride, rows] {
                writer.WriteRows(bits, stride, rows);
            });
            band.swap(spare);
        }
        writing.Wait();
        check(reader.Finish());
        writer.Finish();
        return;
    }
    std::vector<SifSheetReader::Mark> marks;
    for (std::int32_t row = 0; row < height; row += bandRows) {
        marks.push_back(reader.Tell());
        check(reader.ReadRows(nullptr, 0, rowsOf(row)));
    }
    check(reader.Finish());
    // The bands are now read out of order, and deflating wants the cores.
    reader.UncodeAhead(false);
    PngWriter writer(output, width, height, pngLevel);
    for (std::size_t b = marks.size(); b-- > 0;) {
        const auto row = static_cast<std::int32_t>(b) * bandRows;
        reader.Seek(marks[b]);
        check(reader.ReadRows(band.get(), stride, rowsOf(row)));
        writer.WriteRows(band.get() + (rowsOf(row) - 1) * stride, -stride, rowsOf(row));
    }
    writer.Finish();
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
        const ImageFormat format = FormatOfPath(output_);
        // Neither output may replace the SIF file being read, nor anything but a regular file.
        const std::optional<FileIdentity> input = IdentityOf(file_);
        CheckReplaceable(output_, input);
        if (!json_.empty()) CheckReplaceable(json_, input);
        if (const auto planned = PlannedSifDecode(file_, output_, format == ImageFormat::Bmp)) {
            budget_.Require(*planned);
        }
        std::string error;
        // Read a piece at a time: memory does not grow with the file.
        const std::unique_ptr<FileSource> file = FileSource::Open(file_, error);
        if (!file) throw CommandError(kExitFailure, Where(file_, error));
        std::optional<JsonTables> json;
        if (!json_.empty()) json.emplace(json_);
        SifContents sif;
        SifSheetReader reader;
        // With a second core, the payload is uncoded there while this thread places the runs.
        reader.UncodeAhead(UsableCores() > 1);
        error = reader.Open(*file, sif, json ? &*json : nullptr);
        if (!error.empty()) throw CommandError(kExitFailure, Where(file_, error));
        WriteSheet(reader, sif, file_, output_, format, pngLevel_);
        if (json) json->Commit(sif);
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
