#include "export/frames_export.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <new>
#include <optional>
#include <system_error>

#include "archive/archive.h"
#include "export/atlas_export.h"
#include "export/rgba_sprite.h"
#include "export/sheet_export.h"
#include "formats/bmp_writer.h"
#include "platform/archive_file.h"
#include "platform/replace_check.h"

namespace pixhaul {

namespace {

std::string Padded(std::int64_t value, int width) {
    std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < width) {
        digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
    }
    return digits;
}

int Digits(std::int64_t value) {
    return static_cast<int>(std::to_string(std::max<std::int64_t>(value, 0)).size());
}

// A field's text as one path part: "/" and control characters become "_", and a part that
// would step out of its folder ("." or "..") is replaced whole.
std::string SafePart(const std::string& text) {
    const std::string safe = SafeFileName(text);
    return safe == "." || safe == ".." ? std::string(safe.size(), '_') : safe;
}

void CheckPath(const std::string& path, const std::string& pattern) {
    if (path.empty() || path.front() == '/') {
        throw FramePatternError("the pattern \"" + pattern + "\" gives an absolute or empty path");
    }
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string part = path.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") {
            throw FramePatternError("the pattern \"" + pattern +
                                    "\" gives a path with an empty, \".\" or \"..\" part: " + path);
        }
        for (const char c : part) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                throw FramePatternError("the pattern \"" + pattern +
                                        "\" holds a control character");
            }
        }
        start = end + 1;
    }
}

}  // namespace

std::string ExpandFramePattern(const std::string& pattern, const FrameNameFields& fields,
                               const FrameFieldWidths& widths) {
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '{') {
            out += pattern[i];
            continue;
        }
        const std::size_t close = pattern.find('}', i);
        if (close == std::string::npos) {
            throw FramePatternError("the pattern \"" + pattern + "\" has an unclosed \"{\"");
        }
        std::string name = pattern.substr(i + 1, close - i - 1);
        int width = -1;
        if (const std::size_t colon = name.find(':'); colon != std::string::npos) {
            const std::string digits = name.substr(colon + 1);
            if (digits.empty() || digits.size() > 2 ||
                digits.find_first_not_of("0123456789") != std::string::npos) {
                throw FramePatternError("the pattern field {" + name +
                                        "} needs a width of 1 or 2 digits, as {frame:03}");
            }
            width = std::stoi(digits);
            name.resize(colon);
        }
        if (name == "object") {
            out += Padded(fields.object, width < 0 ? widths.object : width);
        } else if (name == "action" && width < 0) {
            out += SafePart(fields.action);
        } else if (name == "direction") {
            out += Padded(fields.direction, width < 0 ? widths.direction : width);
        } else if (name == "frame") {
            out += Padded(fields.frame, width < 0 ? widths.frame : width);
        } else if (name == "image") {
            out += Padded(fields.image, width < 0 ? widths.image : width);
        } else {
            throw FramePatternError("the pattern field {" + pattern.substr(i + 1, close - i - 1) +
                                    "} is not one of {object} {action} {direction} {frame} "
                                    "{image}");
        }
        i = close;
    }
    CheckPath(out, pattern);
    return out;
}

FramesExportResult ExportFrames(ArchiveModel& model, const Settings& settings, Host& host,
                                const FramesExportRequest& request, const OutputBudget& budget) {
    FramesExportResult result;
    std::vector<AtlasSource> frames;
    const SelectionListing listing = ListSelectionFrames(model, host, request.Mode, request.Object,
                                                         request.Action, request.Direction, frames);
    if (listing != SelectionListing::Listed) {
        result.status = UnlistedStatus<FramesExportStatus>(listing);
        return result;
    }
    FrameFieldWidths widths;
    std::uint64_t pixels = 0;
    for (const AtlasSource& f : frames) {
        widths.object = std::max(widths.object, Digits(f.object));
        widths.direction = std::max(widths.direction, Digits(f.direction));
        widths.frame = std::max(widths.frame, Digits(f.frame));
        widths.image = std::max(widths.image, Digits(f.image));
        const ImageRecord& record = model.Images[static_cast<std::size_t>(f.image)];
        pixels += static_cast<std::uint64_t>(std::max<std::int32_t>(record.Width, 1)) *
                  static_cast<std::uint64_t>(std::max<std::int32_t>(record.Height, 1));
    }
    // Every name first: a bad pattern or two frames on one name write nothing.
    std::vector<std::string> names;
    std::map<std::string, std::size_t> taken;
    try {
        for (std::size_t i = 0; i < frames.size(); ++i) {
            const AtlasSource& f = frames[i];
            const ActionRecord& action = model.Objects[static_cast<std::size_t>(f.object)]
                                             .Actions[static_cast<std::size_t>(f.action)];
            const FrameNameFields fields{
                f.object, action.Name.empty() ? std::to_string(f.action) : action.Name, f.direction,
                f.frame, f.image};
            names.push_back(ExpandFramePattern(request.Pattern, fields, widths));
            const auto [other, added] = taken.emplace(names.back(), i);
            if (!added) {
                throw FramePatternError(
                    "the pattern \"" + request.Pattern + "\" gives " + names.back() + " to both " +
                    DescribeAtlasFrame(frames[other->second]) + " and " + DescribeAtlasFrame(f));
            }
        }
    } catch (const FramePatternError& error) {
        host.ShowMessage(std::string("Frames not exported: ") + error.what() + ".", kProgramName,
                         MessageIcon::Exclamation, MessageButtons::Ok);
        result.status = FramesExportStatus::BadPattern;
        return result;
    }
    const std::uint64_t bytes = pixels * 4 + frames.size() * 128;
    if (!ClearedByBudget({settings.ExportFolder + names.front(), pixels, bytes, false}, budget,
                         host)) {
        result.status = FramesExportStatus::OverBudget;
        return result;
    }
    const std::optional<FileIdentity> input =
        model.File ? std::optional(model.File->Identity()) : std::nullopt;
    KeyedCanvas canvas;
    std::vector<std::uint8_t> row;
    try {
        for (std::size_t i = 0; i < frames.size(); ++i) {
            if (host.IsCanceled()) {
                result.status = FramesExportStatus::Canceled;
                return result;
            }
            const std::string path = settings.ExportFolder + names[i];
            std::error_code ignored;
            std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
            CheckReplaceable(path, input);
            NoteFailure(canvas.Compose(model, frames[i].image, settings.TransColor, host),
                        frames[i].image, result.corruptImages);
            const SpriteBox box = request.Trim ? canvas.VisibleBox()
                                               : SpriteBox{0, 0, canvas.Width(), canvas.Height()};
            ThrowIfArchiveChanged(model);
            if (request.Bmp) {
                Surface surface(box.width, box.height);
                for (std::int32_t y = 0; y < box.height; ++y) {
                    std::copy_n(canvas.Pixel(box.x, box.y + y), 3 * box.width,
                                surface.MutableRow(box.height - 1 - y));
                }
                WriteBmp(path, surface);
            } else {
                PngWriter png(path, box.width, box.height, request.PngLevel, 1, PngPixels::Rgba);
                row.resize(static_cast<std::size_t>(box.width) * 4);
                for (std::int32_t y = 0; y < box.height; ++y) {
                    canvas.RowToRgba(box.x, box.y + y, box.width, row.data());
                    png.WriteRows(row.data(), 0, 1);
                }
                png.Finish();
            }
            result.paths.push_back(path);
            host.Progress(static_cast<std::int64_t>(i + 1),
                          static_cast<std::int64_t>(frames.size()));
            host.Yield();
        }
    } catch (const FileError& error) {
        ShowExportError(host, error.Number(), error.Description(), error.Path());
        result.status = FramesExportStatus::Failed;
        return result;
    } catch (const std::bad_alloc&) {
        ShowExportError(host, ENOMEM, std::generic_category().message(ENOMEM));
        result.status = FramesExportStatus::Failed;
        return result;
    }
    result.status = FramesExportStatus::Written;
    return result;
}

}  // namespace pixhaul
