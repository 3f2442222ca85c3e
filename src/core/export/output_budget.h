#pragma once
// The output budget: before an export writes anything, its size is checked against a pixel
// budget and against the free space of the target's file system, so a small damaged archive
// cannot fill a disk or run for hours.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/host.h"

namespace pixhaul {

// 16 Gpixel (16 x 2^30) for one command: far beyond any real sprite archive's output.
inline constexpr std::uint64_t kDefaultMaxPixels = std::uint64_t{16} << 30;

// Free bytes for an unprivileged writer on the file system holding folder; nullopt when unknown.
using FreeSpaceProbe = std::function<std::optional<std::uint64_t>(const std::string& folder)>;
std::optional<std::uint64_t> FreeBytesOnFileSystem(const std::string& folder);

struct OutputBudget {
    std::uint64_t maxPixels = kDefaultMaxPixels;
    // Skip the free-space check for outputs whose size is only an upper estimate (PNG, SIF).
    bool force = false;
    // Ask the user (Yes/No) instead of refusing.
    bool ask = false;
    // Added to a refusal: how the caller lets the user raise each limit.
    std::string raisePixels = "";
    std::string raiseSpace = "";
    FreeSpaceProbe freeSpace = FreeBytesOnFileSystem;
};

// What an export is about to write: its pixels and its bytes (exact, or an upper estimate).
struct PlannedOutput {
    std::string path;
    std::uint64_t pixels = 0;
    std::uint64_t bytes = 0;
    bool bytesExact = true;
};

// An uncompressed 24-bit BMP's file size; a PNG's uncompressed size (the upper estimate).
std::uint64_t BmpFileBytes(std::uint64_t width, std::uint64_t height);
std::uint64_t UncompressedRgbBytes(std::uint64_t width, std::uint64_t height);

// "" when the output fits the budget, else why not, naming the file and the limit.
std::string OverBudget(const PlannedOutput& output, const OutputBudget& budget);

// Checks the output; over budget, asks the user (budget.ask) or tells the refusal. True when
// the export may go on.
bool ClearedByBudget(const PlannedOutput& output, const OutputBudget& budget, Host& host);

}  // namespace pixhaul
