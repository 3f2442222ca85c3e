// Writes the seed corpus of every fuzz target into OUTDIR/<target>/, made by the archive builder
// and the program's own writers, so that no binary sample is kept in the repository.
//   make_fuzz_seeds OUTDIR
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive_builder.h"
#include "export/huffman.h"
#include "export/sif_writer.h"
#include "platform/host.h"
#include "targets/render_target.h"

namespace {

using pixhaul::testing::ActionSpec;
using pixhaul::testing::ArchiveBuilder;
using pixhaul::testing::DirectionSpec;
using pixhaul::testing::ImageBlockSpec;
using pixhaul::testing::ImageSpec;
using pixhaul::testing::ObjectSpec;
using Bytes = std::vector<std::uint8_t>;
using pixhaul::fuzz::MakeRenderInput;

class SeedWriter {
  public:
    explicit SeedWriter(std::filesystem::path folder) : folder_(std::move(folder)) {
        std::filesystem::create_directories(folder_);
    }
    void Add(const Bytes& bytes) {
        std::ofstream out(folder_ / ("seed-" + std::to_string(count_++)), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        if (!out) throw std::runtime_error("cannot write a seed into " + folder_.string());
    }

  private:
    std::filesystem::path folder_;
    int count_ = 0;
};

std::uint32_t Checker(int x, int y) {
    return (x + y) % 3 == 0 ? 0 : 0x30 + 7 * x + 13 * y;
}

ImageSpec Image(std::int32_t id, std::int16_t type, std::int16_t width, std::int16_t height) {
    ImageSpec image;
    image.id = id;
    image.type = type;
    image.width = width;
    image.height = height;
    image.extra = {1, 2, 3, 4};
    const std::int16_t encodeAs = type == 259 || type == 518 || type == 1028 ? type : 259;
    image.stream = pixhaul::testing::EncodeImage(encodeAs, width, height, [&](int x, int y) {
        const std::uint32_t c = Checker(x, y);
        return encodeAs == 259 ? c & 0xFF : encodeAs == 518 ? c & 0x7FFF : c * 0x010203;
    });
    return image;
}

DirectionSpec Direction(std::vector<std::int32_t> ids) {
    DirectionSpec direction;
    for (std::int32_t id : ids) direction.frames.push_back({5, id});
    direction.extra = {1, 2, 3, 4};
    return direction;
}

// Thumbnails, all three stream types and an unknown one, two objects of named actions.
ArchiveBuilder RichArchive() {
    ImageBlockSpec thumbs;
    thumbs.images.push_back(Image(90, 259, 2, 2));
    ImageBlockSpec block;
    for (std::uint32_t i = 0; i < 256; ++i) block.palette[i] = i * 0x010101u ^ 0x3060C0u;
    block.images.push_back(Image(1, 259, 3, 2));
    block.images.push_back(Image(2, 518, 3, 3));
    block.images.push_back(Image(3, 1028, 4, 2));
    block.images.push_back(Image(4, 7, 2, 2));
    ActionSpec walk;
    walk.name = "Walk";
    walk.directions = {Direction({1, 2, 3}), Direction({3, 1})};
    ActionSpec run;
    run.name = "Run\xE9";
    run.directions = {Direction({2, 4}), Direction({})};
    ObjectSpec first;
    first.actions = {walk, run};
    ActionSpec idle;
    idle.directions = {Direction({1, 99})};
    ObjectSpec second;
    second.actions = {idle};
    ArchiveBuilder builder;
    builder.ImageBlock(thumbs).ImageBlock(block).Object(first).Object(second);
    return builder;
}

std::vector<Bytes> Archives() {
    std::vector<Bytes> archives;
    archives.push_back(pixhaul::testing::MinimalArchive().Build());
    Bytes rich = RichArchive().Build();
    archives.push_back(rich);
    rich[0] = 'P';  // block 0 left out
    archives.push_back(rich);
    archives.push_back(RichArchive().Version('U').Build());
    archives.push_back(Bytes(rich.begin(), rich.end() - 9));  // cut short

    ImageBlockSpec liar;
    liar.images.push_back(Image(1, 1028, 2, 2));
    liar.countOverride = 1000;
    liar.images[0].lengthOverride = 1 << 20;
    ActionSpec named;
    named.name = "../x";
    named.nameLengthOverride = 4000;
    named.directions = {Direction({1})};
    named.directions[0].frameCountOverride = 0x40000000;
    ObjectSpec object;
    object.actions = {named};
    object.actionCountOverride = 77;
    archives.push_back(ArchiveBuilder().ImageBlock({}).ImageBlock(liar).Object(object).Build());
    return archives;
}

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds OUTDIR\n");
        return 2;
    }
    const std::filesystem::path out = argv[1];
    try {
        SeedWriter loader(out / "loader");
        SeedWriter exporter(out / "export");
        for (const Bytes& archive : Archives()) {
            loader.Add(archive);
            exporter.Add(archive);
        }

        SeedWriter render(out / "render");
        const std::int16_t types[] = {259, 518, 1028};
        for (std::uint8_t t = 0; t < 3; ++t) {
            for (std::int16_t width : {1, 3, 8, 33}) {
                const std::int16_t height = width == 33 ? 5 : 3;
                const Bytes stream = Image(1, types[t], width, height).stream;
                render.Add(MakeRenderInput(static_cast<std::uint8_t>(t | 4), types[t], width,
                                           height, stream));
                render.Add(MakeRenderInput(static_cast<std::uint8_t>(t | 8 | 16), types[t], width,
                                           height, Bytes(stream.begin(), stream.end() - 1)));
            }
        }
        render.Add(MakeRenderInput(3, 7, 4, 4, Bytes{0x05, 0x83, 0x80, 0x02}));
        // Streams of more than 512 bytes, which the decoder takes in two stages.
        for (std::uint8_t t = 0; t < 3; ++t) {
            const Bytes stream = Image(1, types[t], 40, 30).stream;
            render.Add(
                MakeRenderInput(static_cast<std::uint8_t>(t | 4 | 8), types[t], 40, 30, stream));
        }

        SeedWriter sifReader(out / "sif_reader");
        const pixhaul::testing::TempDir temp;
        pixhaul::testing::WriteFile(temp.File("rich.qxa"), RichArchive().Build());
        pixhaul::QuietHost host;
        pixhaul::ArchiveModel model;
        pixhaul::Settings settings;
        settings.ArchivePath = temp.File("rich.qxa");
        settings.ExportFolder = temp.Path() + "/";
        pixhaul::LoadArchive(model, settings.ArchivePath, host);
        for (std::int32_t object : {0, 1}) {
            settings.ExportName = "seed";
            const pixhaul::SifExportResult sif = pixhaul::ExportSif(model, settings, host, object);
            if (sif.status != pixhaul::SifExportStatus::Written) {
                throw std::runtime_error("the SIF seed was not written: " + sif.problem);
            }
            sifReader.Add(ReadAll(sif.path));
        }

        SeedWriter decode(out / "huffman_decode");
        SeedWriter roundTrip(out / "huffman_roundtrip");
        const std::string text = "Sprites, sheets and lookup tables; sprites again.";
        Bytes all(256);
        for (int i = 0; i < 256; ++i)
            all[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
        const std::vector<Bytes> sources = {Bytes(text.begin(), text.end()),
                                            Bytes(12, 0x41),
                                            {},
                                            all,
                                            {0, 0, 0, 0, 3, 0xFF, 0, 0xFF, 127, 1, 2, 3}};
        for (const Bytes& source : sources) {
            roundTrip.Add(source);
            decode.Add(pixhaul::HuffmanEncoded(source));
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_fuzz_seeds: %s\n", error.what());
        return 1;
    }
    return 0;
}
