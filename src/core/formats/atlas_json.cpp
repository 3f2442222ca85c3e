// The JSON hash form: frames keyed "0".."N-1" in archive order, animations for sprite-sheet
// loaders that read them, frame tags for loaders that build animations from tags. The frames and
// animations go out one record at a time, so the text of a large atlas is never whole in memory;
// the bytes are those of the whole document printed with one tab an indent level.
#include <nlohmann/json.hpp>
#include <ostream>

#include "formats/atlas_data.h"
#include "pixhaul_version.h"

namespace pixhaul {

namespace {

using Json = nlohmann::ordered_json;

Json Rect(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) {
    return Json{{"x", x}, {"y", y}, {"w", w}, {"h", h}};
}

// Writes value as it stands at nesting level `level` of the document.
void PutNested(std::ostream& out, const Json& value, int level) {
    const std::string indent(static_cast<std::size_t>(level), '\t');
    for (const char c : value.dump(1, '\t')) {
        out.put(c);
        if (c == '\n') out << indent;
    }
}

// Writes the members of a top-level object member: `name: {` key: value, ... `}`, each value
// given by put(index) for the keys taken from key(index).
template <typename Key, typename Put>
void PutMembers(std::ostream& out, const char* name, std::size_t count, Key key, Put put) {
    out << "\t\"" << name << "\": {";
    bool first = true;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string k = key(i);
        if (k.empty()) continue;
        out << (first ? "\n\t\t" : ",\n\t\t") << Json(k).dump() << ": ";
        put(i);
        first = false;
    }
    out << (first ? "}" : "\n\t}");
}

// The page a frame's pixels are on.
std::int32_t PageOf(const AtlasLayout& layout, std::size_t frame) {
    return layout.sprites[layout.frames[frame].sprite].page;
}

// The hash of the whole atlas (page < 0) or of the frames on one page of it. A page's file holds
// only the animations whose frames are all on that page: a loader cannot reach another page's
// frames from it.
void HashJson(std::ostream& out, const AtlasDocument& document, std::int32_t page,
              const std::vector<std::string>& related) {
    const AtlasLayout& layout = *document.layout;
    const bool paged = layout.pages.size() > 1;
    const auto onPage = [&](std::size_t frame) {
        return page < 0 || PageOf(layout, frame) == page;
    };
    // Only the animations whose frames are all on the page.
    std::vector<const AtlasAnimation*> animations;
    for (const AtlasAnimation& animation : document.animations) {
        bool whole = true;
        for (std::size_t k = 0; k < animation.count; ++k) {
            whole = whole && onPage(animation.first + k);
        }
        if (whole) animations.push_back(&animation);
    }
    out << "{\n";
    PutMembers(
        out, "frames", layout.frames.size(),
        [&](std::size_t i) { return onPage(i) ? std::to_string(i) : std::string(); },
        [&](std::size_t i) {
            const AtlasFrame& frame = layout.frames[i];
            const AtlasSprite& sprite = layout.sprites[frame.sprite];
            Json record{
                {"frame", Rect(sprite.x, sprite.y, sprite.box.width, sprite.box.height)},
                {"rotated", false},
                {"trimmed", sprite.trimmed},
                {"spriteSourceSize",
                 Rect(sprite.box.x, sprite.box.y, sprite.box.width, sprite.box.height)},
                {"sourceSize", Json{{"w", sprite.sourceWidth}, {"h", sprite.sourceHeight}}},
                {"duration", FrameDurationMs(document.fps)},
            };
            Json own{{"object", frame.source.object},
                     {"action", frame.source.action},
                     {"direction", frame.source.direction},
                     {"frame", frame.source.frame},
                     {"image", frame.source.image}};
            if (paged) own["page"] = sprite.page;
            record["pixhaul"] = std::move(own);
            PutNested(out, record, 2);
        });
    out << ",\n";
    PutMembers(
        out, "animations", animations.size(), [&](std::size_t a) { return animations[a]->name; },
        [&](std::size_t a) {
            Json keys = Json::array();
            for (std::size_t k = 0; k < animations[a]->count; ++k) {
                keys.push_back(std::to_string(animations[a]->first + k));
            }
            PutNested(out, keys, 2);
        });
    Json tags = Json::array();
    for (const AtlasAnimation* animation : animations) {
        tags.push_back(Json{{"name", animation->name},
                            {"from", animation->first},
                            {"to", animation->first + animation->count - 1},
                            {"direction", "forward"}});
    }
    const std::size_t shown = page < 0 ? 0 : static_cast<std::size_t>(page);
    const AtlasPage size = layout.pages.size() <= shown ? AtlasPage{} : layout.pages[shown];
    Json own{{"schema", 1}};
    if (paged) {
        Json pages = Json::array();
        for (std::size_t p = 0; p < layout.pages.size(); ++p) {
            pages.push_back(
                Json{{"image", document.pageFiles[p]},
                     {"size", Json{{"w", layout.pages[p].width}, {"h", layout.pages[p].height}}}});
        }
        own["pages"] = std::move(pages);
    }
    Json meta{{"app", "Pixhaul"},
              {"version", PIXHAUL_VERSION},
              {"image", document.pageFiles.size() <= shown ? "" : document.pageFiles[shown]},
              {"format", "RGBA8888"},
              {"size", Json{{"w", size.width}, {"h", size.height}}},
              {"scale", "1"},
              {"frameTags", std::move(tags)}};
    if (!related.empty()) meta["related_multi_packs"] = related;
    meta["pixhaul"] = std::move(own);
    out << ",\n\t\"meta\": ";
    PutNested(out, meta, 1);
    out << "\n}\n";
}

}  // namespace

void WriteAtlasJson(std::ostream& out, const AtlasDocument& document) {
    HashJson(out, document, -1, {});
}

void WriteAtlasPageJson(std::ostream& out, const AtlasDocument& document, std::size_t page,
                        const std::vector<std::string>& dataFiles) {
    std::vector<std::string> related;
    for (std::size_t p = 0; p < dataFiles.size(); ++p) {
        if (p != page) related.push_back(dataFiles[p]);
    }
    HashJson(out, document, static_cast<std::int32_t>(page), related);
}

}  // namespace pixhaul
