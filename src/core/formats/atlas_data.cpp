#include "formats/atlas_data.h"

#include <cmath>
#include <set>

namespace pixhaul {

std::string SafeAnimationName(const std::string& name) {
    std::string safe = name;
    for (char& c : safe) {
        const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '_' || c == '-';
        if (!kept) c = '_';
    }
    return safe;
}

int FrameDurationMs(int fps) {
    return fps > 0 ? static_cast<int>(std::lround(1000.0 / fps)) : 0;
}

std::vector<AtlasAnimation> AtlasAnimations(
    const std::vector<AtlasFrame>& frames,
    const std::vector<std::vector<std::string>>& actionNames) {
    std::vector<AtlasAnimation> animations;
    std::set<std::string> used;
    for (std::size_t i = 0; i < frames.size();) {
        const AtlasSource& s = frames[i].source;
        std::size_t end = i + 1;
        while (end < frames.size() && frames[end].source.object == s.object &&
               frames[end].source.action == s.action &&
               frames[end].source.direction == s.direction) {
            ++end;
        }
        std::string action;
        if (s.object >= 0 && static_cast<std::size_t>(s.object) < actionNames.size() &&
            s.action >= 0 &&
            static_cast<std::size_t>(s.action) <
                actionNames[static_cast<std::size_t>(s.object)].size()) {
            action =
                actionNames[static_cast<std::size_t>(s.object)][static_cast<std::size_t>(s.action)];
        }
        if (action.empty()) action = std::to_string(s.action);
        const std::string base = SafeAnimationName(std::to_string(s.object) + "_" + action + "_d" +
                                                   std::to_string(s.direction));
        std::string name = base;
        for (int n = 2; used.count(name) != 0; ++n) name = base + "_" + std::to_string(n);
        used.insert(name);
        animations.push_back({name, i, end - i});
        i = end;
    }
    return animations;
}

}  // namespace pixhaul
