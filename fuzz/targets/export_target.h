#pragma once
// The export target: the input is an archive file, loaded as the loader target does, then
// exported into a private folder: every object as one bitmap sheet with its lookup table, the
// first action of object 0 as a PNG sheet, the last image alone, a short sequence of images, and
// object 0 as a SIF file. Bytes 0-3 (unread by the loader) choose the options: byte 0 bit 0 loads
// block 0, byte 1 bit 0 keeps decoded images, bit 1 keeps duplicate frames, bit 2 leaves out the
// lookup table.
//
// Every export must leave exactly the files it reports, inside the folder; a sheet file must be
// as long as its size says; a SIF file written must read back, and its sheet must be the very
// picture the bitmap export of the same object gives.
//
// Sheets are kept small so that executions stay fast: an input whose exports could need more
// than kSheetPixelBudget pixels (counted over every frame, duplicates kept) is only loaded.
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "export/export_list.h"
#include "export/sheet_export.h"
#include "export/sif_export.h"
#include "formats/bmp_writer.h"
#include "formats/dat_writer.h"
#include "formats/sif_reader.h"
#include "fuzz_host.h"
#include "memory_file.h"
#include "scratch_folder.h"

namespace pixhaul::fuzz {

inline constexpr std::int64_t kSheetPixelBudget = std::int64_t{1} << 18;

inline std::int64_t FileSize(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<std::int64_t>(info.st_size) : -1;
}

// The folder holds exactly the files reported, each directly inside it.
inline std::string CheckFolder(const ScratchFolder& scratch,
                               const std::vector<std::string>& paths) {
    std::set<std::string> reported;
    for (const std::string& path : paths) {
        const std::string folder = scratch.Folder();
        if (path.compare(0, folder.size(), folder) != 0 ||
            path.find('/', folder.size()) != std::string::npos) {
            return "an export wrote outside its folder: " + path;
        }
        reported.insert(path.substr(folder.size()));
    }
    if (scratch.Names() != reported) return "the folder holds other files than those reported";
    return "";
}

inline std::string CheckSheet(const ScratchFolder& scratch, const SheetExportResult& result,
                              SheetFormat format) {
    if (result.status == SheetExportStatus::Failed && format == SheetFormat::Bmp) {
        return "a damaged archive gave a file error";
    }
    if (result.status != SheetExportStatus::Written) {
        if (!result.paths.empty()) return "an export that wrote nothing reports files";
        return CheckFolder(scratch, {});
    }
    if (result.paths.empty()) return "a written export reports no file";
    if (std::string problem = CheckFolder(scratch, result.paths); !problem.empty()) return problem;
    if (format == SheetFormat::Bmp) {
        const std::int64_t want =
            static_cast<std::int64_t>(kBmpHeadersSize) +
            StrideFor(static_cast<std::int32_t>(result.width)) * result.height;
        if (FileSize(result.paths[0]) != want) return "the bitmap's length differs from its size";
    }
    if (result.paths.size() > 1 && FileSize(result.paths[1]) % kDatRecordSize != 0) {
        return "the lookup table is not whole records";
    }
    return "";
}

// The pixel rows of a bitmap file written by the sheet export equal the surface's memory rows.
inline std::string SameSheet(const std::string& bmpPath, const Surface& sheet) {
    std::ifstream in(bmpPath, std::ios::binary);
    const std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
    const std::int64_t stride = StrideFor(sheet.Width());
    if (static_cast<std::int64_t>(file.size()) !=
        static_cast<std::int64_t>(kBmpHeadersSize) + stride * sheet.Height()) {
        return "the object's bitmap differs in size from its SIF sheet";
    }
    for (std::int32_t r = 0; r < sheet.Height(); ++r) {
        const std::uint8_t* row = file.data() + kBmpHeadersSize + r * stride;
        const std::uint8_t* bits = sheet.Bits();
        for (std::int64_t i = 0; i < 3 * std::int64_t{sheet.Width()}; ++i) {
            if (row[i] != (bits == nullptr ? 0 : bits[r * stride + i])) {
                return "the SIF sheet differs from the object's bitmap in memory row " +
                       std::to_string(r);
            }
        }
    }
    return "";
}

inline std::int64_t SheetPixels(const SheetSize& size) {
    return size.Width * size.Height;
}

inline std::string RunExportInput(std::span<const std::uint8_t> bytes,
                                  const ScratchFolder& scratch) {
    if (!scratch.Ok()) return "";
    scratch.Clear();
    const MemoryFile file(bytes);
    if (!file.Ok()) return "";
    const std::uint8_t choices = bytes.size() > 1 ? bytes[1] : 0;
    FuzzHost host;
    host.Set(Option::LoadThumbnails, !bytes.empty() && (bytes[0] & 1) != 0);
    host.Set(Option::CacheRenderedImages, (choices & 1) != 0);
    host.Set(Option::RemoveDuplicateFrames, (choices & 2) == 0);
    host.Set(Option::GenerateLookupTable, (choices & 4) == 0);

    ArchiveModel model;
    Settings settings;
    settings.ArchivePath = file.Path();
    settings.ExportFolder = scratch.Folder();
    LoadArchive(model, settings.ArchivePath, host);

    // Every frame, duplicates kept: no export below places more.
    FuzzHost counting;
    counting.Set(Option::RemoveDuplicateFrames, false);
    std::vector<ExportFrame> all;
    if (SheetPixels(BuildExportList(model, counting, all, ExportRange{})) > kSheetPixelBudget) {
        return "";
    }

    auto sheet = [&](const SheetExportRequest& request) {
        const SheetExportResult result = ExportBitmaps(model, settings, host, request);
        std::string problem = CheckSheet(scratch, result, request.Format);
        if (result.status == SheetExportStatus::Written && !settings.ExportName.empty()) {
            problem = "ExportName kept after a written export";
        }
        scratch.Clear();
        return problem;
    };

    SheetExportRequest everything;
    everything.Mode = ExportMode::AllObjects;
    if (std::string problem = sheet(everything); !problem.empty()) return problem;

    SheetExportRequest action;
    action.Mode = ExportMode::SelectedAction;
    action.Object = 0;
    action.Action = 0;
    action.Format = SheetFormat::Png;
    if (std::string problem = sheet(action); !problem.empty()) return problem;

    // The last image alone, and a sequence around it, when they are small.
    const ImageRecord& lastImage = model.Images.back();
    const std::int64_t lastPixels = std::int64_t{std::max<std::int16_t>(lastImage.Width, 0)} *
                                    std::max<std::int16_t>(lastImage.Height, 0);
    if (2 * lastPixels <= kSheetPixelBudget) {
        SheetExportRequest displayed;
        displayed.Mode = ExportMode::DisplayedImage;
        displayed.DisplayedImage = model.LastImage;
        if (std::string problem = sheet(displayed); !problem.empty()) return problem;

        SheetExportRequest sequence;
        sequence.Mode = ExportMode::FromList;
        sequence.Sequence = {model.LastImage, -1, model.LastImage, model.LastImage + 1};
        if (std::string problem = sheet(sequence); !problem.empty()) return problem;
    }

    // Object 0 as a bitmap, kept to compare with its SIF file.
    SheetExportRequest object;
    object.Mode = ExportMode::SelectedObject;
    object.Object = 0;
    settings.ExportName = "object";
    const SheetExportResult bitmap = ExportBitmaps(model, settings, host, object);
    if (std::string problem = CheckSheet(scratch, bitmap, SheetFormat::Bmp); !problem.empty()) {
        return problem;
    }
    settings.ExportName.clear();

    const SifExportResult sif = ExportSif(model, settings, host, 0);
    if (sif.status == SifExportStatus::Failed) return "the SIF export gave a file error";
    std::vector<std::string> files = bitmap.paths;
    if (sif.status == SifExportStatus::Written) {
        files.push_back(sif.path);
        if (std::string problem = CheckFolder(scratch, files); !problem.empty()) return problem;
        SifContents contents;
        if (const std::string error = ReadSifFile(sif.path, contents); !error.empty()) {
            return "the SIF file written does not read back: " + error;
        }
        std::vector<ExportFrame> list;
        const SheetSize size = BuildExportList(model, host, list, ExportRange{.toObject = 0});
        if (contents.Image.SheetWidth != size.Width || contents.Image.SheetHeight != size.Height) {
            return "the SIF file's sheet size differs from the object's";
        }
        if (bitmap.status != SheetExportStatus::Written) {
            return "a SIF file was written where the bitmap export of the object was not";
        }
        if (std::string problem = SameSheet(bitmap.paths[0], contents.Sheet); !problem.empty()) {
            return problem;
        }
    } else if (std::string problem = CheckFolder(scratch, files); !problem.empty()) {
        return problem;
    }
    scratch.Clear();
    return host.problem;
}

}  // namespace pixhaul::fuzz
