#include "export/output_budget.h"

#include <sys/statvfs.h>

#include <filesystem>
#include <limits>

namespace pixhaul {

namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

std::uint64_t Multiply(std::uint64_t a, std::uint64_t b) {
    return b != 0 && a > kMax / b ? kMax : a * b;
}

std::uint64_t Add(std::uint64_t a, std::uint64_t b) {
    return a > kMax - b ? kMax : a + b;
}

std::string FolderOf(const std::string& path) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    return folder.empty() ? "." : folder;
}

std::string Mib(std::uint64_t bytes) {
    return std::to_string(bytes >> 20) + " MiB";
}

}  // namespace

std::optional<std::uint64_t> FreeBytesOnFileSystem(const std::string& folder) {
    struct statvfs info {};
    if (statvfs(folder.c_str(), &info) != 0) return std::nullopt;
    return Multiply(info.f_bavail, info.f_frsize);
}

std::uint64_t BmpFileBytes(std::uint64_t width, std::uint64_t height) {
    const std::uint64_t stride = Multiply(Add(Multiply(width, 3), 3) / 4, 4);
    return Add(Multiply(stride, height), 54);
}

std::uint64_t UncompressedRgbBytes(std::uint64_t width, std::uint64_t height) {
    // Three bytes a pixel and one filter byte a row, as a PNG's image data before deflate.
    return Multiply(Add(Multiply(width, 3), 1), height);
}

std::string OverBudget(const PlannedOutput& output, const OutputBudget& budget) {
    if (output.pixels > budget.maxPixels) {
        return output.path + ": " + std::to_string(output.pixels) +
               " pixels are over the output budget of " + std::to_string(budget.maxPixels) +
               " pixels." + budget.raisePixels;
    }
    if (!output.bytesExact && budget.force) return "";
    const std::optional<std::uint64_t> free = budget.freeSpace(FolderOf(output.path));
    if (free && output.bytes > *free) {
        return output.path + ": " + (output.bytesExact ? "" : "up to ") + Mib(output.bytes) +
               " do not fit the " + Mib(*free) + " free on its file system." +
               (output.bytesExact ? std::string() : budget.raiseSpace);
    }
    return "";
}

bool ClearedByBudget(const PlannedOutput& output, const OutputBudget& budget, Host& host) {
    const std::string problem = OverBudget(output, budget);
    if (problem.empty()) return true;
    if (budget.ask) {
        return host.ShowMessage(problem + " Export anyway?", kProgramName, MessageIcon::Question,
                                MessageButtons::YesNo) == MessageResult::Yes;
    }
    host.ShowMessage(problem, kProgramName, MessageIcon::Exclamation, MessageButtons::Ok);
    return false;
}

}  // namespace pixhaul
