#include "export/anim_export.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>

#include "archive/archive.h"
#include "export/compose_image.h"
#include "export/export_list.h"
#include "platform/archive_file.h"
#include "platform/atomic_file.h"
#include "platform/replace_check.h"
#include "platform/surface.h"

namespace pixhaul {

namespace {

// The surface (blue, green, red, bottom-up) as red, green, blue, alpha top-down; the transparent
// colour gets alpha 0 and keeps its colour.
void ToRgba(const Surface& canvas, COLORREF trans, std::vector<std::uint8_t>& rgba) {
    const std::int32_t width = canvas.Width();
    rgba.resize(static_cast<std::size_t>(width) * canvas.Height() * 4);
    const std::uint8_t* bits = canvas.Bits();
    std::uint8_t* out = rgba.data();
    for (std::int32_t y = 0; y < canvas.Height(); ++y) {
        const std::uint8_t* row =
            bits == nullptr ? nullptr : bits + (canvas.Height() - 1 - y) * canvas.Stride();
        for (std::int32_t x = 0; x < width; ++x, out += 4) {
            const std::uint8_t blue = row ? row[3 * x] : 0;
            const std::uint8_t green = row ? row[3 * x + 1] : 0;
            const std::uint8_t red = row ? row[3 * x + 2] : 0;
            out[0] = red;
            out[1] = green;
            out[2] = blue;
            out[3] = MakeColorRef(red, green, blue) == trans ? 0 : 255;
        }
    }
}

bool DirectionExists(const ArchiveModel& model, const AnimExportRequest& r) {
    if (!model.IsLoaded() || r.Object < 0 ||
        static_cast<std::size_t>(r.Object) >= model.Objects.size()) {
        return false;
    }
    const ObjectRecord& object = model.Objects[static_cast<std::size_t>(r.Object)];
    if (r.Action < 0 || static_cast<std::size_t>(r.Action) >= object.Actions.size()) return false;
    const ActionRecord& action = object.Actions[static_cast<std::size_t>(r.Action)];
    return r.Direction >= 0 && static_cast<std::size_t>(r.Direction) < action.Directions.size();
}

AnimExportResult Refuse(AnimExportStatus status, std::string message) {
    AnimExportResult result;
    result.status = status;
    result.message = std::move(message);
    return result;
}

}  // namespace

AnimExportResult ExportAnimation(const ArchiveModel& model, Host& host,
                                 const AnimExportRequest& request) {
    const std::string where = "object " + std::to_string(request.Object) + ", action " +
                              std::to_string(request.Action) + ", direction " +
                              std::to_string(request.Direction);
    if (!DirectionExists(model, request)) {
        return Refuse(AnimExportStatus::NothingToExport, "the archive holds no " + where);
    }
    if (request.Scale < 1 || request.Scale > kMaxAnimScale) {
        return Refuse(AnimExportStatus::Refused,
                      request.Path + ": a scale of " + std::to_string(request.Scale) +
                          " is not within 1 to " + std::to_string(kMaxAnimScale));
    }
    std::vector<ExportFrame> list;
    BuildExportList(model, host, list, request.Object, request.Action, request.Direction, -1,
                    request.Object, request.Action, request.Direction, 0);
    std::int64_t width = 0;
    std::int64_t height = 0;
    for (const ExportFrame& frame : list) {
        const ImageRecord& image = model.Images[static_cast<std::size_t>(frame.ImageIndex)];
        width = std::max<std::int64_t>(width, image.Width);
        height = std::max<std::int64_t>(height, image.Height);
    }
    if (list.empty() || width == 0 || height == 0) {
        return Refuse(AnimExportStatus::NothingToExport, where + " holds no frames to show");
    }

    AnimCanvas canvas{static_cast<std::int32_t>(width * request.Scale),
                      static_cast<std::int32_t>(height * request.Scale), request.Fps,
                      static_cast<std::int32_t>(list.size())};
    std::string refusal = AnimCanvasRefusal(request.Format, canvas);
    const std::int64_t canvasBytes = std::int64_t{canvas.width} * canvas.height * 4;
    if (refusal.empty() && canvasBytes > kMaxAnimCanvasBytes) {
        refusal = "the canvas of " + std::to_string(canvas.width) + " x " +
                  std::to_string(canvas.height) + " pixels takes " + std::to_string(canvasBytes) +
                  " bytes, over the limit of " + std::to_string(kMaxAnimCanvasBytes);
    }
    if (!refusal.empty()) {
        return Refuse(AnimExportStatus::Refused, request.Path + ": " + refusal);
    }

    AnimExportResult result;
    result.width = canvas.width;
    result.height = canvas.height;
    try {
        // Never the archive itself, whatever name it was given.
        CheckReplaceable(request.Path,
                         model.File ? std::optional(model.File->Identity()) : std::nullopt);
        std::unique_ptr<AnimWriter> writer = MakeAnimWriter(request.Format, request.Path, canvas);
        Surface surface(canvas.width, canvas.height);
        std::vector<std::uint8_t> rgba;
        const auto total = static_cast<std::int64_t>(list.size());
        for (std::int64_t n = 0; n < total; ++n) {
            if (host.IsCanceled()) {
                return Refuse(AnimExportStatus::Canceled, request.Path + ": canceled");
            }
            const std::int32_t index = list[static_cast<std::size_t>(n)].ImageIndex;
            surface.Fill(request.TransColor);
            const ComposedImage composed =
                ComposeImage(model, index, request.TransColor, host,
                             {&surface, 0, 0, static_cast<double>(request.Scale)});
            if (IsFailure(composed.outcome) &&
                std::find(result.corruptImages.begin(), result.corruptImages.end(), index) ==
                    result.corruptImages.end()) {
                result.corruptImages.push_back(index);
            }
            ToRgba(surface, request.TransColor, rgba);
            writer->AddFrame(rgba.data());
            host.Progress(n + 1, total);
        }
        ThrowIfArchiveChanged(model);
        writer->Finish();
    } catch (const FileError& error) {
        return Refuse(AnimExportStatus::Failed, error.Path() + ": " + error.Description());
    } catch (const ArchiveChangedError& error) {
        return Refuse(AnimExportStatus::Failed, error.what());
    } catch (const std::bad_alloc&) {
        return Refuse(AnimExportStatus::Failed, request.Path + ": not enough memory");
    }
    result.status = AnimExportStatus::Written;
    result.frames = canvas.frameCount;
    return result;
}

std::string AnimPreviewName(const ArchiveModel& model, std::int32_t object, std::int32_t action,
                            std::int32_t direction) {
    std::string actionName = std::to_string(action);
    if (object >= 0 && static_cast<std::size_t>(object) < model.Objects.size()) {
        const auto& actions = model.Objects[static_cast<std::size_t>(object)].Actions;
        if (action >= 0 && static_cast<std::size_t>(action) < actions.size() &&
            !actions[static_cast<std::size_t>(action)].Name.empty()) {
            actionName = actions[static_cast<std::size_t>(action)].Name;
        }
    }
    std::string name = std::to_string(object) + "_" + actionName + "_d" + std::to_string(direction);
    for (char& c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (!(u < 0x80 && (std::isalnum(u) || c == '_' || c == '-'))) c = '_';
    }
    return name;
}

bool AnimFormatFromPath(const std::string& path, AnimFormat& format) {
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto endsWith = [&](const std::string& tail) {
        return lower.size() >= tail.size() &&
               lower.compare(lower.size() - tail.size(), tail.size(), tail) == 0;
    };
    if (endsWith(".webp"))
        format = AnimFormat::Webp;
    else if (endsWith(".gif"))
        format = AnimFormat::Gif;
    else if (endsWith(".png") || endsWith(".apng"))
        format = AnimFormat::Apng;
    else
        return false;
    return true;
}

}  // namespace pixhaul
