#include "budget_flags.h"

#include <CLI/CLI.hpp>
#include <array>
#include <fstream>

#include "command.h"
#include "formats/byte_order.h"
#include "formats/sif_format.h"
#include "qxa_app.h"

namespace pixhaul::cli {

void BudgetFlags::Register(CLI::App& command) {
    command
        .add_option("--max-pixels", maxPixels_,
                    "Refuse to write more pixels than this (default 16 Gpixel)")
        ->check(CLI::PositiveNumber);
    command.add_flag("--force", force_,
                     "Write PNG and SIF files even when their uncompressed size exceeds the "
                     "free space");
}

OutputBudget BudgetFlags::Budget() const {
    OutputBudget budget;
    budget.maxPixels = maxPixels_;
    budget.force = force_;
    budget.raisePixels = " Raise it with --max-pixels N.";
    budget.raiseSpace = " Use --force to try anyway (compressed files are smaller).";
    return budget;
}

void BudgetFlags::Require(const PlannedOutput& output) const {
    const std::string problem = OverBudget(output, Budget());
    if (!problem.empty()) throw CommandError(kExitFailure, problem);
}

namespace {

std::uint32_t Le32(const std::array<char, 4>& b) {
    return LoadLE32(reinterpret_cast<const std::uint8_t*>(b.data()));
}

}  // namespace

std::optional<PlannedOutput> PlannedSifDecode(const std::string& sif, const std::string& output,
                                              bool bmp) {
    std::ifstream file(sif, std::ios::binary);
    std::array<char, 4> imagePos{}, width{}, height{};
    // ImagePos is 1-based; SheetWidth and SheetHeight follow PayloadLast and BackColor.
    if (file.seekg(kSifImagePosOffset).read(imagePos.data(), 4)) {
        file.seekg(std::streamoff{Le32(imagePos)} - 1 + 8)
            .read(width.data(), 4)
            .read(height.data(), 4);
    }
    if (!file) return std::nullopt;
    const auto w = static_cast<std::int32_t>(Le32(width));
    const auto h = static_cast<std::int32_t>(Le32(height));
    // Negative sizes are the reader's to refuse; they write nothing.
    const std::uint64_t uw = w > 0 ? static_cast<std::uint64_t>(w) : 0;
    const std::uint64_t uh = h > 0 ? static_cast<std::uint64_t>(h) : 0;
    return PlannedOutput{output, uw * uh, bmp ? BmpFileBytes(uw, uh) : UncompressedRgbBytes(uw, uh),
                         bmp};
}

}  // namespace pixhaul::cli
