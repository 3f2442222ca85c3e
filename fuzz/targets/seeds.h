#pragma once
// The seed inputs of every fuzz target, made by the archive builder and the program's own
// writers (no binary sample is kept in the repository). make_fuzz_seeds writes them out as the
// corpus; the fuzz regression test runs every target over them, so each target's checks stay
// honest about sound files.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive.h"
#include "archive_builder.h"
#include "export/sif_export.h"
#include "formats/huffman.h"
#include "formats/sif_format.h"
#include "platform/host.h"
#include "render_target.h"

namespace pixhaul::fuzz {

using Bytes = std::vector<std::uint8_t>;

// A checker pattern with black cells, in the colours of the type; unknown types are encoded as
// palette streams.
inline testing::ImageSpec SeedImage(std::int32_t id, std::int16_t type, std::int16_t width,
                                    std::int16_t height) {
    const std::int16_t encodeAs = type == 259 || type == 518 || type == 1028 ? type : 259;
    testing::ImageSpec image{id, width, height, type, {1, 2, 3, 4}, {}, {}};
    image.stream = testing::EncodeImage(encodeAs, width, height, [&](int x, int y) {
        const std::uint32_t c = (x + y) % 3 == 0 ? 0 : 0x30 + 7 * x + 13 * y;
        return encodeAs == 259 ? c & 0xFF : encodeAs == 518 ? c & 0x7FFF : c * 0x010203;
    });
    return image;
}

inline testing::DirectionSpec SeedDirection(std::vector<std::int32_t> ids) {
    testing::DirectionSpec direction;
    for (std::int32_t id : ids) direction.frames.push_back({5, id});
    direction.extra = {1, 2, 3, 4};
    return direction;
}

// Thumbnails, all three stream types with odd widths and an unknown type, two objects of named
// actions, a frame naming an unknown image.
inline testing::ArchiveBuilder RichArchive() {
    testing::ImageBlockSpec thumbs;
    thumbs.images.push_back(SeedImage(90, 259, 3, 3));
    testing::ImageBlockSpec block;
    for (std::uint32_t i = 0; i < 256; ++i) block.palette[i] = i * 0x010101u ^ 0x3060C0u;
    block.images = {SeedImage(1, 259, 5, 4), SeedImage(2, 518, 7, 3), SeedImage(3, 1028, 3, 6),
                    SeedImage(4, 7, 2, 2)};
    testing::ObjectSpec first;
    first.actions = {{{SeedDirection({1, 2, 3, 1}), SeedDirection({3, 1})}, "Walk", {}, {}},
                     {{SeedDirection({2, 4}), SeedDirection({})}, "Run\xE9", {}, {}}};
    testing::ObjectSpec second;
    second.actions = {{{SeedDirection({1, 99})}, "", {}, {}}};
    testing::ArchiveBuilder builder;
    builder.ImageBlock(thumbs).ImageBlock(block).Object(first).Object(second);
    return builder;
}

inline std::vector<Bytes> SeedArchives() {
    std::vector<Bytes> archives = {testing::MinimalArchive().Build(), RichArchive().Build()};
    Bytes rich = archives.back();
    rich[0] = 'P';  // block 0 left out
    archives.push_back(rich);
    for (std::uint8_t options = 1; options < 8; ++options) {  // byte 1: the export options
        archives.push_back(archives[1]);
        archives.back()[1] = options;
    }
    archives.push_back(RichArchive().Version('U').Build());
    archives.push_back(Bytes(rich.begin(), rich.end() - 9));  // cut short

    testing::ImageBlockSpec liar;
    liar.images.push_back(SeedImage(1, 1028, 2, 2));
    liar.countOverride = 1000;
    liar.images[0].lengthOverride = 1 << 20;
    testing::ActionSpec named{{SeedDirection({1})}, "../x", 4000, {}};
    named.directions[0].frameCountOverride = 0x40000000;
    testing::ObjectSpec object{{named}, 77};
    archives.push_back(
        testing::ArchiveBuilder().ImageBlock({}).ImageBlock(liar).Object(object).Build());
    return archives;
}

inline std::vector<Bytes> SeedRenderInputs() {
    std::vector<Bytes> inputs;
    const std::int16_t types[] = {259, 518, 1028};
    for (std::uint8_t t = 0; t < 3; ++t) {
        for (std::int16_t width : {1, 2, 5, 40}) {
            const std::int16_t height = width == 40 ? 30 : 3;  // 40 x 30: a stream past 512 bytes
            const Bytes stream = SeedImage(1, types[t], width, height).stream;
            for (std::uint8_t flags : {0, 4, 8, 4 | 8 | 16, 32, 64 | 32 | 4}) {
                inputs.push_back(MakeRenderInput(static_cast<std::uint8_t>(t | flags), types[t],
                                                 width, height, stream));
            }
            inputs.push_back(MakeRenderInput(static_cast<std::uint8_t>(t | 8 | 16), types[t], width,
                                             height, Bytes(stream.begin(), stream.end() - 1)));
        }
    }
    // An unknown type, a damaged stream, sizes Render refuses, no stream.
    inputs.push_back(MakeRenderInput(3, 7, 4, 4, Bytes{5, 0x83, 0x80, 2}));
    inputs.push_back(MakeRenderInput(2, 1028, -3, 4, Bytes{5, 1, 2, 3}));
    inputs.push_back(MakeRenderInput(0, 259, 4, 4, Bytes{}));
    return inputs;
}

// The SIF files of both objects of the rich archive, as the SIF export writes them.
inline std::vector<Bytes> SeedSifFiles() {
    const testing::TempDir temp;
    testing::WriteFile(temp.File("rich.qxa"), RichArchive().Build());
    QuietHost host;
    ArchiveModel model;
    Settings settings;
    settings.ArchivePath = temp.File("rich.qxa");
    settings.ExportFolder = temp.Path() + "/";
    LoadArchive(model, settings.ArchivePath, host);
    std::vector<Bytes> files;
    for (std::int32_t object : {0, 1}) {
        settings.ExportName = "seed";
        const SifExportResult sif = ExportSif(model, settings, host, object);
        if (sif.status != SifExportStatus::Written) {
            throw std::runtime_error("the SIF seed was not written: " + sif.problem);
        }
        std::ifstream in(sif.path, std::ios::binary);
        files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return files;
}

inline std::vector<Bytes> SeedHuffmanSources() {
    const std::string text = "Sprites, sheets and lookup tables; sprites again.";
    Bytes all(256);
    for (int i = 0; i < 256; ++i) all[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    return {Bytes(text.begin(), text.end()),
            Bytes(12, 0x41),
            {},
            all,
            Bytes{0, 0, 0, 0, 3, 0xFF, 0, 0xFF, 127, 1, 2, 3}};
}

// Bytes written as hexadecimal digits, two a byte.
inline Bytes FromHex(std::string_view hex) {
    Bytes bytes(hex.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] =
            static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(2 * i, 2)), nullptr, 16));
    }
    return bytes;
}

// Inputs that once made a target fail, kept with the fault they found.
inline void AddFoundFaults(std::map<std::string, std::vector<Bytes>>& seeds) {
    // A coded block whose second decoding chain, after its first lookups one at a time, stood
    // within eight bytes of the data's end and loaded eight bytes from there.
    seeds["huffman_decode"].push_back(FromHex(
        "7cc0100000020000efff211000000d454b4ba18787878787878787878787878787878787ffffffffffffffff"
        "ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
        "ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
        "ffffffffffffffffffff8787878787878787878787878787628787878787878787878787874845300d000001"
        "7c0c39393939ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
        "ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
        "ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
        "ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
        "ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
        "ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
        "ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
        "ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
        "ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
        "ffffffffffffffffff37b777f70f"));
}

// Every target's seeds, by the target's name.
inline std::map<std::string, std::vector<Bytes>> AllSeeds() {
    std::map<std::string, std::vector<Bytes>> seeds;
    seeds["loader"] = seeds["export"] = SeedArchives();
    seeds["render"] = SeedRenderInputs();
    seeds["sif_reader"] = SeedSifFiles();
    seeds["huffman_roundtrip"] = SeedHuffmanSources();
    for (const Bytes& source : seeds["huffman_roundtrip"]) {
        seeds["huffman_decode"].push_back(HuffmanEncoded(source));
    }
    // The Huffman block inside each SIF file, after its tables and the image section's head.
    for (const Bytes& file : seeds["sif_reader"]) {
        const std::size_t payload =
            LoadLE32(file.data() + kSifImagePosOffset) - 1 + kSifImageHeaderSize;
        if (payload < file.size()) {
            seeds["huffman_decode"].emplace_back(
                file.begin() + static_cast<std::ptrdiff_t>(payload), file.end());
        }
    }
    AddFoundFaults(seeds);
    return seeds;
}

}  // namespace pixhaul::fuzz
