#include "export/sif_tables_json.h"

#include <cstdio>
#include <utility>

namespace pixhaul {

namespace {

// Text is written out once this much has gathered.
constexpr std::size_t kFlushBytes = std::size_t{1} << 16;

// "\"RRGGBB\"", a JSON string
std::string QuotedWebColour(COLORREF colour) {
    char text[10];
    std::snprintf(text, sizeof text, "\"%02X%02X%02X\"", RedOf(colour), GreenOf(colour),
                  BlueOf(colour));
    return text;
}

}  // namespace

SifTablesJson::SifTablesJson(const std::string& path) : file_(path) {
    text_ = "{\n  \"actions\": [";
}

void SifTablesJson::BeginAction(std::int16_t lastDirection) {
    Item(actions_, 2);
    text_ += "{\n      \"directions\": [";
    directions_ = 0;
    (void)lastDirection;
}

void SifTablesJson::BeginDirection(std::int16_t lastFrame) {
    Item(directions_, 6);
    text_ += "{\n          \"frames\": [";
    frames_ = 0;
    (void)lastFrame;
}

void SifTablesJson::Frame(const SifFrame& f) {
    Item(frames_, 10);
    const std::pair<const char*, std::int32_t> fields[] = {{"extra1", f.Extra1},
                                                           {"extra2", f.Extra2},
                                                           {"height", f.Height},
                                                           {"reserved", f.Reserved},
                                                           {"width", f.Width},
                                                           {"x", f.X},
                                                           {"y", f.Y}};
    text_ += "{";
    const char* separator = "\n";
    for (const auto& [key, value] : fields) {
        text_ += separator;
        text_ += "              \"";
        text_ += key;
        text_ += "\": ";
        text_ += std::to_string(value);
        separator = ",\n";
    }
    text_ += "\n            }";
    if (text_.size() > kFlushBytes) Flush();
}

void SifTablesJson::EndDirection() {
    Close(frames_, 10);
    text_ += "\n        }";
}

void SifTablesJson::EndAction() {
    Close(directions_, 6);
    text_ += "\n    }";
}

void SifTablesJson::Commit(const SifContents& sif) {
    Close(actions_, 2);
    const std::pair<const char*, std::string> fields[] = {
        {"back_color", QuotedWebColour(sif.Image.BackColor)},
        {"image_pos", std::to_string(sif.ImagePos)},
        {"payload_form", sif.PayloadCoded ? "\"coded\"" : "\"stored\""},
        {"payload_length", std::to_string(static_cast<std::int64_t>(sif.Image.PayloadLast) + 1)},
        {"rle_kind", std::to_string(sif.Image.RleKind)},
        {"sheet_height", std::to_string(sif.Image.SheetHeight)},
        {"sheet_width", std::to_string(sif.Image.SheetWidth)}};
    for (const auto& [key, value] : fields) {
        text_ += ",\n  \"";
        text_ += key;
        text_ += "\": ";
        text_ += value;
    }
    text_ += "\n}\n";
    Flush();
    file_.Commit();
}

void SifTablesJson::Item(std::size_t& count, int indent) {
    text_ += count++ == 0 ? "\n" : ",\n";
    text_.append(static_cast<std::size_t>(indent) + 2, ' ');
}

void SifTablesJson::Close(std::size_t count, int indent) {
    if (count == 0) {
        text_ += "]";
        return;
    }
    text_ += "\n";
    text_.append(static_cast<std::size_t>(indent), ' ');
    text_ += "]";
}

void SifTablesJson::Flush() {
    file_.Write(text_.data(), text_.size());
    text_.clear();
}

}  // namespace pixhaul
