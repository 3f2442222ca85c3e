#include "platform/host.h"

namespace pixhaul {

std::string LoadingLabel(std::int64_t number, std::int64_t total) {
    return "Loading " + std::to_string(number) + " of " + std::to_string(total);
}

void Host::ImageLoaded(std::int64_t number, std::int64_t total) {
    SetLabel(LoadingLabel(number, total));
    Yield();
}

void ThrowIfCanceled(Host& host) {
    if (host.IsCanceled()) throw WorkCanceled();
}

bool OptionCheckedAtStart(Option option) {
    switch (option) {
        case Option::AutoFilenames:
        case Option::GenerateLookupTable:
        case Option::RemoveDuplicateFrames:
            return true;
        default:
            return false;
    }
}

bool QuietHost::IsOptionChecked(Option option) {
    return OptionCheckedAtStart(option);
}

}  // namespace pixhaul
