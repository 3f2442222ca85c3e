// Animated previews, decoded by readers that are not ours (libwebp's animation decoder, giflib,
// a chunk walker over zlib, and Pillow when it is installed), against the frames as rendered.
#include "export/anim_export.h"

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <webp/demux.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "archive/archive.h"
#include "archive_builder.h"
#include "export/compose_image.h"
#include "recording_host.h"
#include "test_files.h"

namespace pixhaul {
namespace {

using testing::Le32;
using testing::ReadAll;
using testing::TempDir;
constexpr COLORREF kTrans = MakeColorRef(255, 0, 255);

struct Decoded {
    std::int32_t width = 0, height = 0, loops = -1;
    std::vector<std::vector<std::uint8_t>> frames;  // RGBA, top-down
    std::vector<double> delaysMs;
};

Decoded DecodeWebp(const std::string& path) {
    const auto bytes = ReadAll(path);
    const WebPData data{bytes.data(), bytes.size()};
    WebPAnimDecoderOptions options;
    WebPAnimDecoderOptionsInit(&options);
    options.color_mode = MODE_RGBA;
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
    Decoded d;
    WebPAnimInfo info;
    if (decoder == nullptr || !WebPAnimDecoderGetInfo(decoder, &info)) return d;
    d.width = static_cast<std::int32_t>(info.canvas_width);
    d.height = static_cast<std::int32_t>(info.canvas_height);
    d.loops = static_cast<std::int32_t>(info.loop_count);
    int previous = 0, timestamp = 0;
    std::uint8_t* pixels = nullptr;
    while (WebPAnimDecoderGetNext(decoder, &pixels, &timestamp)) {
        d.frames.emplace_back(pixels, pixels + 4 * d.width * d.height);
        d.delaysMs.push_back(timestamp - previous);
        previous = timestamp;
    }
    WebPAnimDecoderDelete(decoder);
    EXPECT_EQ(bytes[20] & 0x10, 0x10) << "alpha flag";
    return d;
}

Decoded DecodeGif(const std::string& path) {
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    Decoded d;
    if (gif == nullptr || DGifSlurp(gif) != GIF_OK) return d;
    d.width = gif->SWidth;
    d.height = gif->SHeight;
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        GraphicsControlBlock control{};
        DGifSavedExtensionToGCB(gif, i, &control);
        for (int e = 0; e + 1 < image.ExtensionBlockCount; ++e) {
            const ExtensionBlock& block = image.ExtensionBlocks[e];
            if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
                std::string(reinterpret_cast<char*>(block.Bytes), 11) == "NETSCAPE2.0") {
                const ExtensionBlock& loop = image.ExtensionBlocks[e + 1];
                d.loops = loop.Bytes[1] | (loop.Bytes[2] << 8);
            }
        }
        EXPECT_EQ(image.ImageDesc.Width * image.ImageDesc.Height, d.width * d.height);
        std::vector<std::uint8_t> rgba;
        for (int p = 0; p < d.width * d.height; ++p) {
            const int index = image.RasterBits[p];
            const GifColorType c = image.ImageDesc.ColorMap->Colors[index];
            const bool clear = index == control.TransparentColor;
            rgba.insert(rgba.end(), {c.Red, c.Green, c.Blue, std::uint8_t(clear ? 0 : 255)});
        }
        d.frames.push_back(rgba);
        d.delaysMs.push_back(control.DelayTime * 10.0);
    }
    DGifCloseFile(gif, &error);
    return d;
}

std::uint32_t Be32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return (std::uint32_t{b[at]} << 24) | (b[at + 1] << 16) | (b[at + 2] << 8) | b[at + 3];
}

// Walks the chunks (checking CRCs and sequence numbers), inflates and unfilters every frame.
Decoded DecodeApng(const std::string& path) {
    const auto b = ReadAll(path);
    Decoded d;
    std::vector<std::uint8_t> z;
    std::uint32_t nextSequence = 0;
    const auto endFrame = [&] {
        if (z.empty()) return;
        uLongf size = static_cast<uLongf>((4 * d.width + 1) * d.height);
        std::vector<std::uint8_t> raw(size), rgba;
        EXPECT_EQ(uncompress(raw.data(), &size, z.data(), z.size()), Z_OK);
        const std::size_t row = 4 * d.width;
        for (std::int32_t y = 0; y < d.height; ++y) {
            const std::uint8_t type = raw[y * (row + 1)];
            for (std::size_t i = 0; i < row; ++i) {
                const int a = i >= 4 ? rgba[y * row + i - 4] : 0;
                const int up = y > 0 ? rgba[(y - 1) * row + i] : 0;
                const int c = i >= 4 && y > 0 ? rgba[(y - 1) * row + i - 4] : 0;
                const int p = a + up - c;
                const int paeth =
                    std::abs(p - a) <= std::abs(p - up) && std::abs(p - a) <= std::abs(p - c) ? a
                    : std::abs(p - up) <= std::abs(p - c)                                     ? up
                                                                                              : c;
                const int predicted[] = {0, a, up, (a + up) / 2, paeth};
                rgba.push_back(
                    static_cast<std::uint8_t>(raw[y * (row + 1) + 1 + i] + predicted[type]));
            }
        }
        d.frames.push_back(rgba);
        z.clear();
    };
    for (std::size_t at = 8; at + 12 <= b.size();) {
        const std::uint32_t length = Be32(b, at);
        const std::string type(b.begin() + at + 4, b.begin() + at + 8);
        const std::size_t body = at + 8;
        EXPECT_EQ(crc32(0, b.data() + at + 4, length + 4), Be32(b, body + length)) << type;
        if (type == "IHDR") d.width = Be32(b, body), d.height = Be32(b, body + 4);
        if (type == "acTL") d.loops = Be32(b, body + 4);
        if (type == "fcTL" || type == "fdAT") {
            EXPECT_EQ(Be32(b, body), nextSequence++);
        }
        if (type == "fcTL") {
            endFrame();
            d.delaysMs.push_back(1000.0 * ((b[body + 20] << 8) | b[body + 21]) /
                                 ((b[body + 22] << 8) | b[body + 23]));
        }
        if (type == "IDAT") z.insert(z.end(), b.begin() + body, b.begin() + body + length);
        if (type == "fdAT") z.insert(z.end(), b.begin() + body + 4, b.begin() + body + length);
        at = body + length + 4;
    }
    endFrame();
    return d;
}

// Pillow's reading of the file, or nothing when /usr/bin/python3 has no Pillow.
std::optional<Decoded> DecodeWithPillow(const std::string& path, const TempDir& dir) {
    const std::string script = dir.File("read.py");
    testing::WriteFile(script, [] {
        const std::string s =
            "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\n"
            "out = open(sys.argv[2], 'w')\nout.write('%d %d %d\\n' % (im.size[0], im.size[1], "
            "im.info.get('loop', -1)))\nfor i in range(im.n_frames):\n    im.seek(i)\n"
            "    open('%s.%d' % (sys.argv[2], i), 'wb').write(im.convert('RGBA').tobytes())\n"
            "    out.write('%s\\n' % im.info.get('duration', 0))\n";  // known once loaded
        return std::vector<std::uint8_t>(s.begin(), s.end());
    }());
    const std::string out = dir.File("pillow");
    if (std::system(("/usr/bin/python3 -c 'import PIL' 2>/dev/null")) != 0) return std::nullopt;
    EXPECT_EQ(std::system(("/usr/bin/python3 " + script + " " + path + " " + out).c_str()), 0);
    Decoded d;
    std::ifstream in(out);
    in >> d.width >> d.height >> d.loops;
    for (double ms; in >> ms;) {
        d.delaysMs.push_back(ms);
        d.frames.push_back(ReadAll(out + "." + std::to_string(d.frames.size())));
    }
    return d;
}

// Image ids 100.. : 10 x 8, 6 x 12 and 20 x 20 (over 255 colours); black shows as kTrans.
class AnimExport : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::ImageBlockSpec block;
        const std::pair<int, int> sizes[] = {{10, 8}, {6, 12}, {20, 20}};
        for (int i = 0; i < 3; ++i) {
            auto [w, h] = sizes[i];
            testing::ImageSpec image;
            image.id = 100 + i;
            image.width = static_cast<std::int16_t>(w);
            image.height = static_cast<std::int16_t>(h);
            image.type = k24BitType;
            image.stream = testing::EncodeImage(k24BitType, w, h, [=](int x, int y) {
                if ((x + y) % 5 == 0) return 0u;  // black: shows the transparent colour
                return std::uint32_t(x * 12 + i * 40) << 16 | std::uint32_t(y * 12) << 8 |
                       (x * y + 1) % 256;
            });
            block.images.push_back(image);
        }
        testing::ActionSpec walk;
        walk.name = "Walk Cycle";
        walk.directions.resize(2);  // the second without frames
        walk.directions[0].frames = {{0, 100}, {0, 101}, {0, 100}, {0, 102}};
        testing::ObjectSpec object;
        object.actions = {walk};
        const std::string path = dir.File("a.qxa");
        testing::WriteFile(
            path,
            testing::ArchiveBuilder().ImageBlock({}).ImageBlock(block).Object(object).Build());
        ASSERT_EQ(LoadArchive(model, path, host).status, LoadStatus::Loaded);
    }

    // The frames as ComposeImage renders them, RGBA with the transparent colour at alpha 0.
    std::vector<std::vector<std::uint8_t>> Expected(std::vector<std::int32_t> images, int scale) {
        std::vector<std::vector<std::uint8_t>> frames;
        for (std::int32_t image : images) {
            Surface canvas(20 * scale, 20 * scale);
            canvas.Fill(kTrans);
            ComposeImage(model, image, kTrans, host, {&canvas, 0, 0, double(scale)});
            std::vector<std::uint8_t> rgba;
            for (int y = 0; y < canvas.Height(); ++y) {
                for (int x = 0; x < canvas.Width(); ++x) {
                    const COLORREF c = canvas.PixelAt(x, y);
                    rgba.insert(rgba.end(), {RedOf(c), GreenOf(c), BlueOf(c),
                                             std::uint8_t(c == kTrans ? 0 : 255)});
                }
            }
            frames.push_back(rgba);
        }
        return frames;
    }

    TempDir dir;
    testing::RecordingHost host;
    ArchiveModel model;
};

// Transparent pixels stay transparent; others match exactly, or within `tolerance` per channel
// in a frame of more than 255 colours (the GIF quantiser's).
void ExpectFrames(const Decoded& d, const std::vector<std::vector<std::uint8_t>>& expected,
                  int tolerance, int fps, double delayUnitMs) {
    ASSERT_EQ(d.frames.size(), expected.size());
    EXPECT_EQ(d.loops, 0);
    double total = 0;
    for (std::size_t f = 0; f < expected.size(); ++f) {
        total += d.delaysMs[f];
        EXPECT_NEAR(total, 1000.0 * (f + 1) / fps, delayUnitMs / 2 + 0.01) << "frame " << f;
        std::set<std::uint32_t> colours;
        for (std::size_t i = 0; i < expected[f].size(); i += 4) {
            colours.insert(Le32(expected[f], i));
        }
        const int allowed = colours.size() > 256 ? tolerance : 0;
        ASSERT_EQ(d.frames[f].size(), expected[f].size());
        for (std::size_t i = 0; i < expected[f].size(); i += 4) {
            ASSERT_EQ(d.frames[f][i + 3], expected[f][i + 3])
                << "frame " << f << " pixel " << i / 4;
            for (int c = 0; c < 3 && expected[f][i + 3] != 0; ++c) {
                ASSERT_NEAR(d.frames[f][i + c], expected[f][i + c], allowed) << "pixel " << i / 4;
            }
        }
    }
}

struct FormatCase {
    AnimFormat format;
    Decoded (*decode)(const std::string&);
    int scale;
    int tolerance;
    double delayUnitMs;
};

class AnimFormats : public AnimExport, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(AnimFormats, IndependentReadersSeeTheRenderedFrames) {
    const FormatCase& c = GetParam();
    host.SetOption(Option::RemoveDuplicateFrames, true);
    const std::string path = dir.File(std::string("walk") + AnimExtension(c.format));
    const AnimExportResult result =
        ExportAnimation(model, host, {0, 0, 0, c.format, 30, c.scale, kTrans, path});
    ASSERT_EQ(result.status, AnimExportStatus::Written) << result.message;
    const auto expected = Expected({0, 1, 2}, c.scale);  // the repeated image left out
    ExpectFrames(c.decode(path), expected, c.tolerance, 30, c.delayUnitMs);
    if (const auto pillow = DecodeWithPillow(path, dir)) {
        // Pillow rounds durations to whole milliseconds.
        ExpectFrames(*pillow, expected, c.tolerance, 30, std::max(c.delayUnitMs, 1.0));
    }
}

INSTANTIATE_TEST_SUITE_P(, AnimFormats,
                         ::testing::Values(FormatCase{AnimFormat::Webp, DecodeWebp, 1, 0, 1},
                                           FormatCase{AnimFormat::Gif, DecodeGif, 2, 40, 10},
                                           FormatCase{AnimFormat::Apng, DecodeApng, 3, 0, 0}));

class CancelingHost : public testing::RecordingHost {
  public:
    bool IsCanceled() override { return lastProgress.first > 0; }
};

TEST_F(AnimExport, KeepsDuplicatesWhenAskedAndLeavesNoFileWhenCanceled) {
    host.SetOption(Option::RemoveDuplicateFrames, false);
    const std::string path = dir.File("walk.png");
    ASSERT_EQ(ExportAnimation(model, host, {0, 0, 0, AnimFormat::Apng, 10, 1, kTrans, path}).frames,
              4);
    EXPECT_EQ(DecodeApng(path).frames, Expected({0, 1, 0, 2}, 1));

    CancelingHost canceling;
    const std::string gif = dir.File("walk.gif");
    EXPECT_EQ(
        ExportAnimation(model, canceling, {0, 0, 0, AnimFormat::Gif, 10, 1, kTrans, gif}).status,
        AnimExportStatus::Canceled);
    EXPECT_FALSE(std::filesystem::exists(gif));
    EXPECT_EQ(AnimPreviewName(model, 0, 0, 1), "0_Walk_Cycle_d1");
}

TEST(WebpAnim, OpaqueFramesStillMarkTheFileAsHavingAlpha) {
    TempDir dir;
    std::vector<std::uint8_t> pixels(16, 255);
    auto writer = MakeAnimWriter(AnimFormat::Webp, dir.File("o.webp"), {2, 2, 10, 2});
    writer->AddFrame(pixels.data());
    pixels[0] = 0;
    writer->AddFrame(pixels.data());
    writer->Finish();
    EXPECT_EQ(DecodeWebp(dir.File("o.webp")).frames.size(), 2u);  // checks the flag
}

}  // namespace
}  // namespace pixhaul
