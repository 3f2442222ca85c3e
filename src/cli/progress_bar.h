#pragma once
// A one-line progress bar for a terminal: redrawn in place with "\r", only when what it shows
// changes. A disabled bar writes nothing.
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

namespace pixhaul::cli {

class ProgressBar {
  public:
    ProgressBar(std::ostream& out, bool enabled) : out_(out), enabled_(enabled) {}
    ~ProgressBar() { Clear(); }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    bool Enabled() const { return enabled_; }
    void Update(std::string_view label, std::int64_t done, std::int64_t total);
    // Erases the bar, so that a message or the shell prompt starts on a clean line.
    void Clear();

  private:
    static constexpr int kCells = 30;

    std::ostream& out_;
    bool enabled_;
    bool shown_ = false;
    std::string label_;
    int percent_ = -1;
};

}  // namespace pixhaul::cli
