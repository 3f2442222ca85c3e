#include "recording_host.h"

namespace pixhaul::testing {

RecordingHost::RecordingHost() {
    for (int i = 0; i < 8; ++i) options[i] = OptionCheckedAtStart(static_cast<Option>(i));
}

MessageResult RecordingHost::ShowMessage(const std::string& text, const std::string& title,
                                         MessageIcon icon, MessageButtons buttons,
                                         const std::string& details) {
    messages.push_back({text, title, icon, buttons, details});
    return buttons == MessageButtons::YesNo ? answer : MessageResult::Ok;
}

bool RecordingHost::IsOptionChecked(Option option) {
    ++optionReads;
    return options[static_cast<int>(option)];
}

}  // namespace pixhaul::testing
