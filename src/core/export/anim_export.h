#pragma once
// Animated previews: the frames of one direction, each rendered as the sheet export renders it,
// top-left on one canvas as large as the direction's largest frame, as an animated WebP, GIF or
// PNG. Pixels of the transparent colour (and the canvas around a smaller frame) are transparent.
#include <cstdint>
#include <string>
#include <vector>

#include "archive/model.h"
#include "formats/anim_writer.h"
#include "platform/host.h"

namespace pixhaul {

inline constexpr std::int32_t kMaxAnimScale = 8;
inline constexpr std::int32_t kDefaultAnimFps = 10;
// Two canvases of RGBA are held while a frame is written; larger previews are refused.
inline constexpr std::int64_t kMaxAnimCanvasBytes = std::int64_t{256} << 20;

struct AnimExportRequest {
    std::int32_t Object = 0;
    std::int32_t Action = 0;
    std::int32_t Direction = 0;
    AnimFormat Format = AnimFormat::Webp;
    std::int32_t Fps = kDefaultAnimFps;
    std::int32_t Scale = 1;  // 1..kMaxAnimScale, nearest neighbour
    COLORREF TransColor = 0xFF00FF;
    std::string Path;
};

enum class AnimExportStatus {
    Written,
    NothingToExport,  // no such direction, or it holds no frames: nothing written
    Refused,          // the canvas, scale or rate is beyond a limit (message says which)
    Canceled,         // the host asked to stop: nothing written
    Failed,           // a file error or the archive changed: message says which, nothing written
};

struct AnimExportResult {
    AnimExportStatus status = AnimExportStatus::NothingToExport;
    std::string message;  // for every status but Written: what happened, naming the file
    std::int32_t frames = 0;
    std::int32_t width = 0;  // the canvas, scaled
    std::int32_t height = 0;
    std::vector<std::int32_t> corruptImages;
};

// Writes the preview. RemoveDuplicateFrames and CacheRenderedImages are read from the host as the
// sheet export reads them; progress goes to host.Progress, and host.IsCanceled() is asked before
// each frame. Never throws for a file error: the result says it.
AnimExportResult ExportAnimation(const ArchiveModel& model, Host& host,
                                 const AnimExportRequest& request);

// "3_Walk_d2": object, action name (its index when it has none) and direction, every character
// other than ASCII letters, digits, "_" and "-" replaced by "_".
std::string AnimPreviewName(const ArchiveModel& model, std::int32_t object, std::int32_t action,
                            std::int32_t direction);

// The format a file name asks for by its extension (.webp, .gif, .png, .apng; any case).
bool AnimFormatFromPath(const std::string& path, AnimFormat& format);

}  // namespace pixhaul
