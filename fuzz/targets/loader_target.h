#pragma once
// The loader target: the input is an archive file. It is loaded (block 0 too when the low bit
// of byte 0 is set: bytes 0-3 mean nothing to the loader), every image is decoded (with its
// block's palette when it is a palette image) and the export list of every object is built.
// The model must come out sound however damaged the file, and the user is told at most once.
// The tag scan must find what a plain byte-by-byte search finds.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/tag_scan.h"
#include "export/export_list.h"
#include "fuzz_host.h"
#include "memory_file.h"
#include "render_target.h"

namespace pixhaul::fuzz {

// Pixels decoded per input at most, over all its images.
inline constexpr std::int64_t kLoaderPixelBudget = std::int64_t{1} << 20;

// What must hold of any model a load leaves, however damaged the file.
inline std::string CheckModel(const ArchiveModel& model) {
    if (model.Images.empty() || model.Objects.empty()) return "Images or Objects lost entry 0";
    if (!model.IsLoaded()) return "";
    if (static_cast<std::size_t>(model.LastImage) != model.Images.size() - 1) {
        return "LastImage does not name the last image";
    }
    if (!model.File) return "a loaded model without its file";
    const std::span<const std::uint8_t> file = model.File->Bytes();
    for (std::size_t i = 0; i < model.Images.size(); ++i) {
        const ImageRecord& image = model.Images[i];
        if (!image.Loaded) return "an image entry left empty";
        const StreamBytes& stream = model.ImageBitmap(i).Stream();
        if (image.Length < 0 || stream.Size() != static_cast<std::size_t>(image.Length) + 1) {
            return "a stream's size differs from its length";
        }
        if (image.Length > 0 && (stream.Data() < file.data() ||
                                 stream.Data() + image.Length > file.data() + file.size())) {
            return "a stream lies outside the file";
        }
        if (image.PaletteIndex < 0 ||
            static_cast<std::size_t>(image.PaletteIndex) >= model.ImageBlockPos.size()) {
            return "an image names a block that does not exist";
        }
    }
    if (static_cast<std::size_t>(model.ObjectCount) != model.Objects.size() &&
        !(model.ObjectCount == 0 && model.Objects.size() == 1)) {
        return "ObjectCount differs from the objects held";
    }
    std::int64_t frames = 0;
    for (const ObjectRecord& object : model.Objects) {
        if (static_cast<std::size_t>(object.ActionCount) != object.Actions.size()) {
            return "ActionCount differs from the actions held";
        }
        for (const ActionRecord& action : object.Actions) {
            if (static_cast<std::size_t>(action.DirectionCount) != action.Directions.size()) {
                return "DirectionCount differs from the directions held";
            }
            for (const DirectionRecord& direction : action.Directions) {
                if (static_cast<std::size_t>(direction.FrameCount) != direction.Frames.size()) {
                    return "FrameCount differs from the frames held";
                }
                frames += direction.FrameCount;
                for (const FrameRecord& frame : direction.Frames) {
                    if (frame.ImageIndex < -1 ||
                        frame.ImageIndex >= static_cast<std::int64_t>(model.Images.size())) {
                        return "a frame names an image index that does not exist";
                    }
                }
            }
        }
    }
    if (frames != model.TotalFrames) return "TotalFrames differs from the frames held";
    return "";
}

// The tables are no larger than what the file, read at most four times over plus 64 KiB (as
// overlapping blocks may be), can describe.
inline std::string CheckModelSize(const ArchiveModel& model, std::size_t fileSize) {
    const std::uint64_t readable = 4 * std::uint64_t{fileSize} + 65536;
    std::uint64_t described = (model.Images.size() - 1) * 28;
    for (const ObjectRecord& object : model.Objects) {
        described += 16 * object.Actions.size();
        for (const ActionRecord& action : object.Actions) {
            for (const DirectionRecord& direction : action.Directions) {
                described += 32 + 8 * direction.Frames.size();
            }
        }
    }
    return described > readable ? "the model holds more than the file describes" : "";
}

// The export list of one object: every entry names an image of that object, rows end where
// they say, and the sheet size adds up.
inline std::string CheckExportList(const ArchiveModel& model, Host& host, std::int32_t object) {
    std::vector<ExportFrame> list;
    const SheetSize size =
        BuildExportList(model, host, list, ExportRange{.fromObject = object, .toObject = object});
    std::int64_t height = 0;
    std::int64_t widest = 0;
    std::int64_t rowWidth = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const ExportFrame& e = list[i];
        if (e.ImageIndex < 0 || static_cast<std::size_t>(e.ImageIndex) >= model.Images.size()) {
            return "the export list names an image that does not exist";
        }
        if (e.ObjectIndex != object) return "the export list strays into another object";
        const auto& frames = model.Objects[static_cast<std::size_t>(object)]
                                 .Actions.at(static_cast<std::size_t>(e.ActionIndex))
                                 .Directions.at(static_cast<std::size_t>(e.DirectionIndex))
                                 .Frames;
        if (frames.at(static_cast<std::size_t>(e.FrameIndex)).ImageIndex != e.ImageIndex) {
            return "an export list entry differs from its frame";
        }
        rowWidth +=
            std::max<std::int16_t>(model.Images[static_cast<std::size_t>(e.ImageIndex)].Width, 0);
        if (e.RowEnd != 0) {
            height += e.RowHeight;
            widest = std::max(widest, rowWidth);
            rowWidth = 0;
        }
    }
    if (!list.empty() && list.back().RowEnd == 0) return "the export list's last row is open";
    if (size.Height != height || size.Width != widest) return "the sheet size does not add up";
    return "";
}

// The offsets after every occurrence of the tag, by plain search.
inline std::vector<std::int64_t> FindTag(std::span<const std::uint8_t> bytes, const char* tag) {
    std::vector<std::int64_t> found;
    for (std::size_t at = 0; at + 4 <= bytes.size(); ++at) {
        if (std::equal(tag, tag + 4, bytes.begin() + static_cast<std::ptrdiff_t>(at))) {
            found.push_back(static_cast<std::int64_t>(at + 4));
        }
    }
    return found;
}

inline std::string RunLoaderInput(std::span<const std::uint8_t> bytes) {
    const std::vector<std::int64_t> imageTags = FindTag(bytes, "AGMI");
    const TagPositions tags = ScanTags(bytes);
    if (tags.imageBlocks != imageTags || tags.objectBlocks != FindTag(bytes, "AnSt")) {
        return "the tag scan differs from a plain search";
    }

    const MemoryFile file(bytes);
    if (!file.Ok()) return "";
    FuzzHost host;
    host.Set(Option::LoadThumbnails, !bytes.empty() && (bytes[0] & 1) != 0);

    ArchiveModel model;
    const LoadResult result = LoadArchive(model, file.Path(), host);
    if (host.messages > 1) return "the load showed more than one message";
    if (!host.problem.empty()) return host.problem;
    if (result.status == LoadStatus::Damaged && result.problem.empty()) {
        return "a damaged archive without its problem";
    }
    if ((host.messages == 1) !=
        (result.status == LoadStatus::Damaged || result.status == LoadStatus::Rejected)) {
        return "a message without a problem, or a problem without a message";
    }
    if (result.status == LoadStatus::Rejected && model.File) return "a rejected file stays open";
    if (std::string problem = CheckModel(model); !problem.empty()) return problem;
    if (std::string problem = CheckModelSize(model, bytes.size()); !problem.empty()) {
        return problem;
    }
    if (result.status != LoadStatus::Rejected && model.ImageBlockPos != imageTags) {
        return "the image blocks differ from the tags in the file";
    }

    // List texts, as the window shows them.
    for (std::size_t o = 0; o < model.Objects.size(); ++o) {
        ObjectItemText(model, static_cast<std::int32_t>(o));
        for (const ActionRecord& action : model.Objects[o].Actions) {
            ActionItemText(action);
            for (std::size_t d = 0; d < action.Directions.size(); ++d) {
                DirectionItemText(action.Directions[d], static_cast<std::int32_t>(d));
            }
        }
    }

    std::int64_t budget = kLoaderPixelBudget;
    for (std::size_t i = 0; i < model.Images.size(); ++i) {
        const ImageRecord& image = model.Images[i];
        if (!image.Loaded) continue;
        cBitMap& bitmap = model.ImageBitmap(i);
        if (!CheapToRender(image.eType, image.Width, image.Height)) continue;
        const std::int64_t pixels = std::int64_t{std::max<std::int16_t>(image.Width, 0) + 1} *
                                    std::max<std::int16_t>(image.Height, 0);
        if (pixels <= cBitMap::kMaxImagePixels && (budget -= pixels) < 0) break;
        if (image.eType == kPaletteType) {
            bitmap.SetPalette(ReadBlockPalette(model, image.PaletteIndex));
        }
        bitmap.Render(0xFF00FF, host);
    }

    for (std::size_t o = 0; o < model.Objects.size(); ++o) {
        if (std::string problem = CheckExportList(model, host, static_cast<std::int32_t>(o));
            !problem.empty()) {
            return problem;
        }
    }
    ResetArchive(model, host);
    if (model.File || model.Images.size() != 1 || model.Objects.size() != 1) {
        return "the reset left something behind";
    }
    return "";
}

}  // namespace pixhaul::fuzz
