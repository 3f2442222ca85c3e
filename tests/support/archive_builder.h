#pragma once
// Builds QXA archives in memory: valid ones of every shape, and damaged ones (counts that lie,
// lengths past the end, missing tags), for tests, benchmarks and the demo generator.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pixhaul::testing {

struct ImageSpec {
    std::int32_t id = 0;
    std::int16_t width = 0;
    std::int16_t height = 0;
    std::int16_t type = 259;
    std::array<std::int16_t, 4> extra{};
    std::vector<std::uint8_t> stream;            // the L encoded bytes
    std::optional<std::int32_t> lengthOverride;  // write this as L instead of stream.size()
};

struct ImageBlockSpec {
    std::array<std::uint32_t, 256> palette{};  // COLORREF values, 0x00BBGGRR
    std::vector<ImageSpec> images;
    std::optional<std::uint32_t> countOverride;  // write this as N instead of images.size()
};

struct FrameSpec {
    std::int32_t extra = 0;
    std::int32_t imageId = 0;
};

struct DirectionSpec {
    std::vector<FrameSpec> frames;
    std::array<std::int32_t, 4> extra{};
    std::optional<std::uint32_t> frameCountOverride;
};

struct ActionSpec {
    std::vector<DirectionSpec> directions;
    std::string name;  // "" writes a name length of 0
    std::optional<std::int32_t> nameLengthOverride;
    std::optional<std::uint32_t> directionCountOverride;
};

struct ObjectSpec {
    std::vector<ActionSpec> actions;
    std::optional<std::uint32_t> actionCountOverride;
};

class ArchiveBuilder {
  public:
    // Bytes 0..3 of the file, then the version byte at offset 4 ('T' by default).
    ArchiveBuilder& Version(std::uint8_t version);
    // Sections are written in the order they are added, right after the five-byte head.
    ArchiveBuilder& ImageBlock(ImageBlockSpec block);
    ArchiveBuilder& Object(ObjectSpec object);
    ArchiveBuilder& Filler(std::size_t count, std::uint8_t byte = 0);
    ArchiveBuilder& Raw(std::vector<std::uint8_t> bytes);

    std::vector<std::uint8_t> Build() const;
    // Offset of the first byte after the tag of each section added with ImageBlock / Object,
    // in the order added (valid after Build()).
    std::vector<std::size_t> SectionOffsets() const;

  private:
    struct Section {
        enum Kind { kImageBlock, kObject, kRaw } kind;
        ImageBlockSpec block;
        ObjectSpec object;
        std::vector<std::uint8_t> raw;
    };
    std::uint8_t version_ = 'T';
    std::vector<Section> sections_;
    mutable std::vector<std::size_t> offsets_;
};

// The smallest archive that loads: the head, an image block 0 without images, image block 1 with
// one 2 x 1 palette image of id 7 (palette entry 5 = red, both pixels index 5), and one object with
// one action ("" name), one direction and one frame naming id 7.
ArchiveBuilder MinimalArchive();

// Encodes one image's stream of packets with runs (a colour repeated 2 to 127 times) and
// literals (1 to 127 colours). `colours` holds row width x height stream pixels, top row first;
// each colour is written as bytesPerColour little-endian bytes (1: palette index, 2: 15-bit
// value, 3: blue, green, red of 0x00RRGGBB).
std::vector<std::uint8_t> EncodePackets(const std::vector<std::uint32_t>& colours,
                                        int bytesPerColour);

// Encodes an image of the given stream type from a pixel function (x, y) -> colour value as in
// EncodePackets; adds the extra column of odd widths for the palette and 24-bit types (it
// repeats the row's last pixel).
std::vector<std::uint8_t> EncodeImage(std::int16_t type, int width, int height,
                                      const std::function<std::uint32_t(int, int)>& pixel);

// A side x side image of 24-bit noise (stream type 1028) with the given id; the same seed
// gives the same pixels.
ImageSpec NoiseImage(std::int32_t id, int side, std::uint32_t seed);

// Bytes per stream colour of a stream type (1, 2 or 3).
int BytesPerColour(std::int16_t type);
// Row width of a stream type: width, rounded up to even for the palette and 24-bit types.
int StreamRowWidth(std::int16_t type, int width);

// Writes bytes to a file; throws std::runtime_error on failure.
void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

// A temporary folder removed with everything in it when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

}  // namespace pixhaul::testing
