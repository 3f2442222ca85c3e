#pragma once
// What the atlas data files describe (the pages, every frame's place, the animations) and the
// three forms they are written in: a JSON hash for web engines, a Godot 4 SpriteFrames resource
// and a libGDX texture atlas. Each writer puts the file's text out as it goes (a large atlas's
// text is never whole in memory); the same document gives the same bytes every time.
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "export/atlas_layout.h"

namespace pixhaul {

// One animation: frames [first, first + count) of the layout, one action x direction.
struct AtlasAnimation {
    std::string name;
    std::size_t first = 0;
    std::size_t count = 0;
};

struct AtlasDocument {
    const AtlasLayout* layout = nullptr;
    std::vector<std::string> pageFiles;  // file names beside the data file, one per page
    std::vector<AtlasAnimation> animations;
    int fps = 10;
};

// The animations of frames in archive order: one for each run of frames sharing object, action
// and direction, named "<object>_<action>_d<direction>" with actionNames[object][action] (the
// action's number when its name is empty), made safe and unique.
std::vector<AtlasAnimation> AtlasAnimations(
    const std::vector<AtlasFrame>& frames,
    const std::vector<std::vector<std::string>>& actionNames);

// Letters, digits, "_" and "-" kept; every other byte becomes "_".
std::string SafeAnimationName(const std::string& name);

// A frame's duration in milliseconds at fps frames a second.
int FrameDurationMs(int fps);

// The JSON hash of a one-page atlas.
void WriteAtlasJson(std::ostream& out, const AtlasDocument& document);
// The JSON hash of page `page` of an atlas of several pages, written as dataFiles[page]: the frames
// on that page under their keys in the whole atlas, meta.image and meta.size of that page,
// meta.related_multi_packs naming the other pages' files, and the animations whose frames are all
// on that page.
void WriteAtlasPageJson(std::ostream& out, const AtlasDocument& document, std::size_t page,
                        const std::vector<std::string>& dataFiles);
void WriteGodotSpriteFrames(std::ostream& out, const AtlasDocument& document);
void WriteLibGdxAtlas(std::ostream& out, const AtlasDocument& document);

}  // namespace pixhaul
