#pragma once
// The output budget's flags (--max-pixels, --force), shared by every command that writes
// pictures, and the refusal that names the file, the limit and the flag that raises it.
#include <cstdint>
#include <optional>
#include <string>

#include "export/output_budget.h"

namespace CLI {
class App;
}

namespace pixhaul::cli {

class BudgetFlags {
  public:
    void Register(CLI::App& command);
    // The budget for core: refusals, never questions, with the flags named.
    OutputBudget Budget() const;
    // Throws the refusal (exit 1) when output is over the budget.
    void Require(const PlannedOutput& output) const;

  private:
    std::uint64_t maxPixels_ = kDefaultMaxPixels;
    bool force_ = false;
};

// The sheet a SIF file's image section declares, read without decoding anything; nullopt when
// the file has no readable image section (the reader then says what is wrong).
std::optional<PlannedOutput> PlannedSifDecode(const std::string& sif, const std::string& output,
                                              bool bmp);

}  // namespace pixhaul::cli
