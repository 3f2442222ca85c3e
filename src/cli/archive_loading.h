#pragma once
// Loading the archive a command names, with clear messages when that is not possible.
#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/model.h"
#include "cli_host.h"

namespace pixhaul::cli {

// Loads path into model. Throws CommandError (exit 1) when nothing could be loaded: no such
// file, not readable, a folder, not an archive. A damaged archive loads what could be read; the
// loader's message has then been shown and the result says Damaged and lists the problems.
// Throws WorkCanceled when the host asked the load to stop.
// Index-only loads (for commands that only list) keep no image bytes: see LoadArchiveIndex.
enum class LoadKind { Renderable, IndexOnly };
LoadResult LoadForCommand(ArchiveModel& model, const std::string& path, CliHost& host,
                          LoadKind kind = LoadKind::Renderable);

// The exit code of an export that wrote its files: names each image that could not be decoded
// on stderr; 3 when there was any, or when the archive was damaged; 0 otherwise.
int ExportExitCode(const std::vector<std::int32_t>& corruptImages, LoadStatus load, CliHost& host);

// Number of entries of Images that hold a loaded image (0 when nothing is loaded).
std::size_t LoadedImageCount(const ArchiveModel& model);

}  // namespace pixhaul::cli
