// A libGDX texture atlas in the legacy line order. The regions of one animation share its name
// and are told apart by index; offsets count from the bottom of the untrimmed frame.
#include <ostream>

#include "formats/atlas_data.h"

namespace pixhaul {

void WriteLibGdxAtlas(std::ostream& out, const AtlasDocument& document) {
    const AtlasLayout& layout = *document.layout;
    for (std::size_t p = 0; p < layout.pages.size(); ++p) {
        out << '\n'
            << document.pageFiles[p] << '\n'
            << "size: " << layout.pages[p].width << ',' << layout.pages[p].height << '\n'
            << "format: RGBA8888\nfilter: Nearest,Nearest\nrepeat: none\n";
        for (const AtlasAnimation& animation : document.animations) {
            for (std::size_t k = 0; k < animation.count; ++k) {
                const AtlasSprite& s = layout.sprites[layout.frames[animation.first + k].sprite];
                if (s.page != static_cast<std::int32_t>(p)) continue;
                const std::int32_t fromBottom = s.sourceHeight - s.box.y - s.box.height;
                out << animation.name << '\n'
                    << "  rotate: false\n"
                    << "  xy: " << s.x << ", " << s.y << '\n'
                    << "  size: " << s.box.width << ", " << s.box.height << '\n'
                    << "  orig: " << s.sourceWidth << ", " << s.sourceHeight << '\n'
                    << "  offset: " << s.box.x << ", " << fromBottom << '\n'
                    << "  index: " << k << '\n';
            }
        }
    }
}

}  // namespace pixhaul
