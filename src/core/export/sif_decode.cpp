#include "export/sif_decode.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "export/sif_tables_json.h"
#include "formats/bmp_writer.h"
#include "formats/png_writer.h"
#include "formats/sif_reader.h"
#include "platform/byte_source.h"
#include "platform/page_buffer.h"
#include "platform/surface.h"
#include "platform/usable_cores.h"

namespace pixhaul {

namespace {

// Memory for one band of the sheet (at least one row). A band small enough to stay in the
// processor's cache while it is decoded is copied into the file far faster than one that has
// gone out to memory, and large enough that write calls are rare (1 MiB bands cost 4-6 ms more
// CPU on a 258 MB sheet; 4 MiB ones now and then several times as much). Bands are made with their
// pages in place: faulted in one page at a time, they with the uncoded chunks and the read window
// took 2,000 page faults, 7% of the CPU of decoding a 258 MB sheet.
constexpr std::int64_t kBandBytes = std::int64_t{2} << 20;

// What is wrong with the SIF file, on its way out of the decoding.
struct SifDamage {
    std::string message;
};

// Decodes the sheet band by band straight into the picture file. A BMP takes the rows in the
// stream's own order (bottom up). A PNG takes them from the top: a first pass checks the whole
// stream and marks where each band starts, a second decodes the bands top band first.
void WriteSheet(SifSheetReader& reader, const SifContents& sif, const std::string& output,
                SheetFormat format, int pngLevel) {
    const std::int32_t width = sif.Image.SheetWidth;
    const std::int32_t height = sif.Image.SheetHeight;
    auto check = [&](const std::string& error) {
        if (!error.empty()) throw SifDamage{error};
    };
    if (width == 0 || height == 0) {
        check(reader.ReadRows(nullptr, 0, height));
        check(reader.Finish());
        if (format == SheetFormat::Png) {
            WritePng(output, Surface(width, height), pngLevel);
        } else {
            WriteBmp(output, Surface(width, height));
        }
        return;
    }
    const std::int64_t stride = StrideFor(width);
    const auto bandRows =
        static_cast<std::int32_t>(std::clamp<std::int64_t>(kBandBytes / stride, 1, height));
    const auto bandBytes = static_cast<std::size_t>(stride * bandRows);
    PageBuffer band = MakePageBuffer(bandBytes);
    auto rowsOf = [&](std::int32_t first) { return std::min(bandRows, height - first); };

    if (format == SheetFormat::Bmp) {
        BmpWriter writer(output, width, height);
        // Each band is written on this thread, while the payload is uncoded ahead on the other
        // core: the uncoding sets the pace. A thread of its own for the writing gained no wall
        // time and cost about 5% more CPU, sharing a core with one of the other two.
        for (std::int32_t row = 0; row < height; row += bandRows) {
            const std::int32_t rows = rowsOf(row);
            check(reader.ReadRows(band.get(), stride, rows));
            writer.WriteRows(band.get(), stride, rows);
        }
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

}  // namespace

std::string DecodeSif(const SifDecodeRequest& request) {
    auto where = [&](const std::string& error) { return request.Sif + ": " + error; };
    std::string error;
    // Read a piece at a time: memory does not grow with the file.
    const std::unique_ptr<FileSource> file = FileSource::Open(request.Sif, error);
    if (!file) return where(error);
    std::optional<SifTablesJson> json;
    if (!request.Tables.empty()) json.emplace(request.Tables);
    SifContents sif;
    SifSheetReader reader;
    // With a second core, the payload is uncoded there while this thread places the runs.
    reader.UncodeAhead(UsableCores() > 1);
    error = reader.Open(*file, sif, json ? &*json : nullptr);
    if (!error.empty()) return where(error);
    try {
        WriteSheet(reader, sif, request.Picture, request.Format, request.PngLevel);
    } catch (const SifDamage& damage) {
        return where(damage.message);
    }
    if (json) json->Commit(sif);
    return "";
}

}  // namespace pixhaul
