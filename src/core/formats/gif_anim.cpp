#include "formats/gif_anim.h"

#include <gif_lib.h>

#include <array>
#include <cerrno>
#include <stdexcept>
#include <unordered_map>
#include <vector>

namespace pixhaul {

namespace {

constexpr int kTransparentIndex = 0;
constexpr int kMaxOpaqueColours = 255;

int OutputToWriter(GifFileType* gif, const GifByteType* data, int size) {
    return static_cast<GifAnimWriter*>(gif->UserData)->Output(data, size);
}

std::uint32_t RgbOf(const std::uint8_t* pixel) {
    return (static_cast<std::uint32_t>(pixel[0]) << 16) | (pixel[1] << 8) | pixel[2];
}

bool IsTransparent(const std::uint8_t* pixel) {
    return pixel[3] < 128;
}

// One frame as colour indices and its table (entry 0 the transparent one).
struct IndexedFrame {
    std::vector<GifByteType> indices;
    std::array<GifColorType, 256> colours{};
    int used = 1;  // entries of colours in use
};

// The colour table's size: a power of two from 2 to 256 holding `used` entries.
int TableSize(int used) {
    int size = 2;
    while (size < used) size *= 2;
    return size;
}

IndexedFrame IndexFrame(const std::uint8_t* rgba, std::size_t pixels) {
    IndexedFrame frame;
    frame.indices.assign(pixels, kTransparentIndex);
    std::unordered_map<std::uint32_t, GifByteType> exact;
    bool fits = true;
    for (std::size_t i = 0; i < pixels && fits; ++i) {
        const std::uint8_t* p = rgba + 4 * i;
        if (IsTransparent(p)) continue;
        auto [it, added] = exact.try_emplace(RgbOf(p), static_cast<GifByteType>(exact.size() + 1));
        if (added && exact.size() > kMaxOpaqueColours) fits = false;
        frame.indices[i] = it->second;
    }
    if (fits) {
        frame.used = static_cast<int>(exact.size()) + 1;
        for (const auto& [rgb, index] : exact) {
            frame.colours[index] = {static_cast<GifByteType>(rgb >> 16),
                                    static_cast<GifByteType>(rgb >> 8),
                                    static_cast<GifByteType>(rgb)};
        }
        return frame;
    }
    // Too many colours: quantise the opaque pixels only.
    std::vector<GifByteType> red, green, blue;
    std::vector<std::size_t> where;
    for (std::size_t i = 0; i < pixels; ++i) {
        const std::uint8_t* p = rgba + 4 * i;
        if (IsTransparent(p)) continue;
        red.push_back(p[0]);
        green.push_back(p[1]);
        blue.push_back(p[2]);
        where.push_back(i);
    }
    std::vector<GifByteType> quantised(where.size());
    int size = kMaxOpaqueColours;
    if (GifQuantizeBuffer(static_cast<unsigned>(where.size()), 1, &size, red.data(), green.data(),
                          blue.data(), quantised.data(), frame.colours.data() + 1) != GIF_OK) {
        throw std::bad_alloc();
    }
    frame.used = size + 1;
    for (std::size_t k = 0; k < where.size(); ++k) {
        frame.indices[where[k]] = static_cast<GifByteType>(quantised[k] + 1);
    }
    return frame;
}

}  // namespace

GifAnimWriter::GifAnimWriter(std::string path, const AnimCanvas& canvas)
    : path_(std::move(path)), canvas_(canvas), file_(path_) {
    int error = 0;
    gif_ = EGifOpen(this, OutputToWriter, &error);
    if (gif_ == nullptr) ThrowFileError(ENOMEM, path_);
    EGifSetGifVersion(gif_, true);
    if (EGifPutScreenDesc(gif_, canvas.width, canvas.height, 8, kTransparentIndex, nullptr) !=
        GIF_OK) {
        Fail();
    }
    // NETSCAPE2.0: sub-block 1, loop count 0 = forever.
    const GifByteType loop[] = {1, 0, 0};
    if (EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) != GIF_OK ||
        EGifPutExtensionBlock(gif_, 11, "NETSCAPE2.0") != GIF_OK ||
        EGifPutExtensionBlock(gif_, sizeof loop, loop) != GIF_OK ||
        EGifPutExtensionTrailer(gif_) != GIF_OK) {
        Fail();
    }
}

GifAnimWriter::~GifAnimWriter() {
    if (gif_ != nullptr) EGifCloseFile(gif_, nullptr);
}

int GifAnimWriter::Output(const std::uint8_t* data, int size) noexcept {
    if (outputError_) return 0;
    try {
        file_.Write(data, static_cast<std::size_t>(size));
        return size;
    } catch (...) {
        outputError_ = std::current_exception();
        return 0;
    }
}

void GifAnimWriter::Fail() {
    if (outputError_) std::rethrow_exception(outputError_);
    ThrowFileError(gif_->Error == E_GIF_ERR_NOT_ENOUGH_MEM ? ENOMEM : EIO, path_);
}

void GifAnimWriter::AddFrame(const std::uint8_t* rgba) {
    const auto width = static_cast<std::size_t>(canvas_.width);
    const IndexedFrame frame = IndexFrame(rgba, width * static_cast<std::size_t>(canvas_.height));

    GraphicsControlBlock control{};
    control.DisposalMode = DISPOSE_BACKGROUND;
    control.UserInputFlag = false;
    control.DelayTime = AnimFrameDelay(added_, canvas_.fps, 100);
    control.TransparentColor = kTransparentIndex;
    GifByteType extension[4];
    const size_t length = EGifGCBToExtension(&control, extension);
    ColorMapObject* map = GifMakeMapObject(TableSize(frame.used), frame.colours.data());
    if (map == nullptr) throw std::bad_alloc();
    bool ok = EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension) ==
                  GIF_OK &&
              EGifPutImageDesc(gif_, 0, 0, canvas_.width, canvas_.height, false, map) == GIF_OK;
    GifFreeMapObject(map);
    for (std::size_t y = 0; ok && y < static_cast<std::size_t>(canvas_.height); ++y) {
        ok = EGifPutLine(gif_, const_cast<GifByteType*>(frame.indices.data() + y * width),
                         canvas_.width) == GIF_OK;
    }
    if (!ok) Fail();
    ++added_;
}

void GifAnimWriter::Finish() {
    if (added_ != canvas_.frameCount) throw std::logic_error("GIF: frame count differs");
    int error = 0;
    const int closed = EGifCloseFile(gif_, &error);  // writes the trailer, frees gif_
    gif_ = nullptr;
    if (closed != GIF_OK) {
        if (outputError_) std::rethrow_exception(outputError_);
        ThrowFileError(EIO, path_);
    }
    file_.Commit();
}

}  // namespace pixhaul
