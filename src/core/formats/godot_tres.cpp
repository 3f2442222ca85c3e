// A Godot 4 SpriteFrames resource: one texture per page, one AtlasTexture per frame (its region
// on the page and, for a trimmed frame, the margin that restores its untrimmed size), one
// looping animation per action x direction.
#include <ostream>

#include "formats/atlas_data.h"

namespace pixhaul {

namespace {

std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

void WriteGodotSpriteFrames(std::ostream& out, const AtlasDocument& document) {
    const AtlasLayout& layout = *document.layout;
    out << "[gd_resource type=\"SpriteFrames\" load_steps="
        << layout.pages.size() + layout.frames.size() + 1 << " format=3]\n\n";
    for (std::size_t p = 0; p < layout.pages.size(); ++p) {
        out << "[ext_resource type=\"Texture2D\" path=" << Quoted(document.pageFiles[p]) << " id=\""
            << p + 1 << "\"]\n";
    }
    out << '\n';
    for (std::size_t i = 0; i < layout.frames.size(); ++i) {
        const AtlasSprite& s = layout.sprites[layout.frames[i].sprite];
        out << "[sub_resource type=\"AtlasTexture\" id=\"AtlasTexture_" << i << "\"]\n"
            << "atlas = ExtResource(\"" << s.page + 1 << "\")\n"
            << "region = Rect2(" << s.x << ", " << s.y << ", " << s.box.width << ", "
            << s.box.height << ")\n";
        if (s.trimmed) {
            out << "margin = Rect2(" << s.box.x << ", " << s.box.y << ", "
                << s.sourceWidth - s.box.width << ", " << s.sourceHeight - s.box.height << ")\n";
        }
        out << '\n';
    }
    out << "[resource]\nanimations = [";
    for (std::size_t a = 0; a < document.animations.size(); ++a) {
        const AtlasAnimation& animation = document.animations[a];
        out << (a == 0 ? "{\n" : ", {\n") << "\"frames\": [";
        for (std::size_t k = 0; k < animation.count; ++k) {
            out << (k == 0 ? "{\n" : ", {\n") << "\"duration\": 1.0,\n"
                << "\"texture\": SubResource(\"AtlasTexture_" << animation.first + k << "\")\n}";
        }
        out << "],\n\"loop\": true,\n\"name\": &" << Quoted(animation.name) << ",\n"
            << "\"speed\": " << document.fps << ".0\n}";
    }
    out << "]\n";
}

}  // namespace pixhaul
