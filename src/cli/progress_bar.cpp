#include "progress_bar.h"

#include <algorithm>
#include <ostream>

namespace pixhaul::cli {

void ProgressBar::Update(std::string_view label, std::int64_t done, std::int64_t total) {
    if (!enabled_ || total <= 0) return;
    done = std::clamp<std::int64_t>(done, 0, total);
    const int percent = static_cast<int>(done * 100 / total);
    if (shown_ && percent == percent_ && label == label_) return;
    percent_ = percent;
    label_.assign(label);
    const int filled = static_cast<int>(done * kCells / total);
    out_ << '\r' << label << " [" << std::string(static_cast<std::size_t>(filled), '#')
         << std::string(static_cast<std::size_t>(kCells - filled), '.') << "] " << percent << "% "
         << done << '/' << total << "\x1b[K" << std::flush;
    shown_ = true;
}

void ProgressBar::Clear() {
    if (!shown_) return;
    out_ << "\r\x1b[K" << std::flush;
    shown_ = false;
    percent_ = -1;
}

}  // namespace pixhaul::cli
