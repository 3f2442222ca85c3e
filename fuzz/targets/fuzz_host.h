#pragma once
// The host of the fuzz targets: silent like QuietHost, with options a target can set and a count
// of the message boxes shown.
#include <array>
#include <string>

#include "platform/host.h"

namespace pixhaul::fuzz {

class FuzzHost : public QuietHost {
  public:
    FuzzHost() {
        for (int i = 0; i < static_cast<int>(options_.size()); ++i) {
            options_[static_cast<std::size_t>(i)] = OptionCheckedAtStart(static_cast<Option>(i));
        }
    }

    void Set(Option option, bool checked) { options_[Index(option)] = checked; }
    bool IsOptionChecked(Option option) override { return options_[Index(option)]; }
    using QuietHost::ShowMessage;
    MessageResult ShowMessage(const std::string& text, const std::string& title, MessageIcon icon,
                              MessageButtons buttons, const std::string& details) override {
        ++messages;
        if (text.empty() || title.empty()) problem = "a message without its text or title";
        return QuietHost::ShowMessage(text, title, icon, buttons, details);
    }

    int messages = 0;
    std::string problem;  // set when a message box would say nothing

  private:
    static std::size_t Index(Option option) { return static_cast<std::size_t>(option); }
    std::array<bool, 8> options_{};
};

}  // namespace pixhaul::fuzz
