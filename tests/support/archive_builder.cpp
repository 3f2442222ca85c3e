#include "archive_builder.h"

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "formats/byte_order.h"

namespace pixhaul::testing {

namespace {

// Fields the loader skips get a recognisable value, so that a reader that takes one of them for
// a count or a length goes visibly wrong.
constexpr std::uint32_t kUnused = 0xDEADBEEF;

void Put8(std::vector<std::uint8_t>& out, std::uint8_t v) {
    out.push_back(v);
}

void PutTag(std::vector<std::uint8_t>& out, const char* tag) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(tag[i]));
}

void WriteImageBlock(std::vector<std::uint8_t>& out, const ImageBlockSpec& block) {
    AppendLE<std::uint32_t>(out, kUnused);
    AppendLE<std::uint32_t>(out, kUnused);
    for (std::uint32_t colour : block.palette) AppendLE<std::uint32_t>(out, colour);
    AppendLE<std::uint32_t>(
        out, block.countOverride.value_or(static_cast<std::uint32_t>(block.images.size())));
    for (const ImageSpec& image : block.images) {
        AppendLE<std::int32_t>(out, image.id);
        AppendLE<std::uint32_t>(out, kUnused);
        AppendLE<std::uint16_t>(out, static_cast<std::uint16_t>(kUnused & 0xFFFF));
        AppendLE<std::int32_t>(
            out, image.lengthOverride.value_or(static_cast<std::int32_t>(image.stream.size())));
        AppendLE<std::int16_t>(out, image.width);
        AppendLE<std::int16_t>(out, image.height);
        AppendLE<std::int16_t>(out, image.type);
        for (std::int16_t extra : image.extra) AppendLE<std::int16_t>(out, extra);
        out.insert(out.end(), image.stream.begin(), image.stream.end());
    }
}

void WriteObject(std::vector<std::uint8_t>& out, const ObjectSpec& object) {
    AppendLE<std::uint32_t>(out, object.actionCountOverride.value_or(
                                     static_cast<std::uint32_t>(object.actions.size())));
    for (const ActionSpec& action : object.actions) {
        AppendLE<std::uint32_t>(out, kUnused);
        AppendLE<std::uint32_t>(out, action.directionCountOverride.value_or(
                                         static_cast<std::uint32_t>(action.directions.size())));
        for (const DirectionSpec& direction : action.directions) {
            AppendLE<std::uint32_t>(out, kUnused);
            AppendLE<std::uint32_t>(out, direction.frameCountOverride.value_or(
                                             static_cast<std::uint32_t>(direction.frames.size())));
            for (const FrameSpec& frame : direction.frames) {
                AppendLE<std::int32_t>(out, frame.extra);
                AppendLE<std::int32_t>(out, frame.imageId);
            }
            AppendLE<std::uint32_t>(out, kUnused);
            for (std::int32_t extra : direction.extra) AppendLE<std::int32_t>(out, extra);
            AppendLE<std::uint32_t>(out, kUnused);
        }
        AppendLE<std::uint32_t>(out, kUnused);
        AppendLE<std::int32_t>(
            out, action.nameLengthOverride.value_or(static_cast<std::int32_t>(action.name.size())));
        for (char c : action.name) Put8(out, static_cast<std::uint8_t>(c));
    }
}

void PutColour(std::vector<std::uint8_t>& out, std::uint32_t colour, int bytesPerColour) {
    for (int i = 0; i < bytesPerColour; ++i) {
        out.push_back(static_cast<std::uint8_t>((colour >> (8 * i)) & 0xFF));
    }
}

}  // namespace

ArchiveBuilder& ArchiveBuilder::Version(std::uint8_t version) {
    version_ = version;
    return *this;
}

ArchiveBuilder& ArchiveBuilder::ImageBlock(ImageBlockSpec block) {
    sections_.push_back({Section::kImageBlock, std::move(block), {}, {}});
    return *this;
}

ArchiveBuilder& ArchiveBuilder::Object(ObjectSpec object) {
    sections_.push_back({Section::kObject, {}, std::move(object), {}});
    return *this;
}

ArchiveBuilder& ArchiveBuilder::Filler(std::size_t count, std::uint8_t byte) {
    return Raw(std::vector<std::uint8_t>(count, byte));
}

ArchiveBuilder& ArchiveBuilder::Raw(std::vector<std::uint8_t> bytes) {
    sections_.push_back({Section::kRaw, {}, {}, std::move(bytes)});
    return *this;
}

std::vector<std::uint8_t> ArchiveBuilder::Build() const {
    std::vector<std::uint8_t> out = {'Q', 'X', 'A', 0, version_};
    offsets_.clear();
    for (const Section& section : sections_) {
        switch (section.kind) {
            case Section::kImageBlock:
                PutTag(out, "AGMI");
                offsets_.push_back(out.size());
                WriteImageBlock(out, section.block);
                break;
            case Section::kObject:
                PutTag(out, "AnSt");
                offsets_.push_back(out.size());
                WriteObject(out, section.object);
                break;
            case Section::kRaw:
                out.insert(out.end(), section.raw.begin(), section.raw.end());
                break;
        }
    }
    return out;
}

std::vector<std::size_t> ArchiveBuilder::SectionOffsets() const {
    return offsets_;
}

ArchiveBuilder MinimalArchive() {
    ImageBlockSpec block;
    block.palette[5] = 0x0000FF;
    ImageSpec image;
    image.id = 7;
    image.width = 2;
    image.height = 1;
    image.type = 259;
    image.stream = {0x02, 0x05};
    block.images.push_back(image);
    DirectionSpec direction;
    direction.frames.push_back({0, 7});
    ActionSpec action;
    action.directions.push_back(direction);
    ObjectSpec object;
    object.actions.push_back(action);
    ArchiveBuilder builder;
    builder.ImageBlock({}).ImageBlock(block).Object(object);
    return builder;
}

std::vector<std::uint8_t> EncodePackets(const std::vector<std::uint32_t>& colours,
                                        int bytesPerColour) {
    std::vector<std::uint8_t> out;
    const std::size_t n = colours.size();
    std::size_t i = 0;
    auto runAt = [&](std::size_t at) {
        std::size_t run = 1;
        while (at + run < n && run < 127 && colours[at + run] == colours[at]) ++run;
        return run;
    };
    while (i < n) {
        std::size_t run = runAt(i);
        if (run >= 2) {
            out.push_back(static_cast<std::uint8_t>(run));
            PutColour(out, colours[i], bytesPerColour);
            i += run;
            continue;
        }
        // A literal up to the next run of two or more, at most 127 colours.
        std::size_t end = i + 1;
        while (end < n && end - i < 127 && runAt(end) < 2) ++end;
        out.push_back(static_cast<std::uint8_t>(128 + (end - i)));
        for (std::size_t k = i; k < end; ++k) PutColour(out, colours[k], bytesPerColour);
        i = end;
    }
    return out;
}

int BytesPerColour(std::int16_t type) {
    switch (type) {
        case 518:
            return 2;
        case 1028:
            return 3;
        default:
            return 1;
    }
}

int StreamRowWidth(std::int16_t type, int width) {
    if (type == 518) return width;
    return width + (width & 1);
}

std::vector<std::uint8_t> EncodeImage(std::int16_t type, int width, int height,
                                      const std::function<std::uint32_t(int, int)>& pixel) {
    const int rowWidth = StreamRowWidth(type, width);
    std::vector<std::uint32_t> colours;
    colours.reserve(static_cast<std::size_t>(rowWidth) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < rowWidth; ++x) colours.push_back(pixel(x < width ? x : width - 1, y));
    }
    return EncodePackets(colours, BytesPerColour(type));
}

ImageSpec NoiseImage(std::int32_t id, int side, std::uint32_t seed) {
    constexpr std::int16_t k24Bit = 1028;
    const auto length = static_cast<std::int16_t>(side);
    return {id,
            length,
            length,
            k24Bit,
            {},
            EncodeImage(k24Bit, side, side,
                        [&](int, int) {
                            seed = seed * 1103515245u + 12345u;
                            return (seed >> 8) & 0xFFFFFFu;
                        }),
            {}};
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) throw std::runtime_error("cannot create " + path);
    const bool written =
        bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) throw std::runtime_error("cannot write " + path);
}

TempDir::TempDir() {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) base = "/tmp";
    std::string pattern = (base / "pixhaul-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder in " + base.string());
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

}  // namespace pixhaul::testing
