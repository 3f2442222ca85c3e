#include "formats/webp_anim.h"

#include <webp/encode.h>
#include <webp/mux.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "platform/atomic_file.h"

namespace pixhaul {

namespace {

// The VP8X chunk's flags byte and its alpha bit (RIFF header 12 bytes, chunk header 8).
constexpr std::size_t kVp8xFlagsOffset = 20;
constexpr std::uint8_t kVp8xAlphaFlag = 0x10;

struct PictureGuard {
    WebPPicture picture;
    PictureGuard() { WebPPictureInit(&picture); }
    ~PictureGuard() { WebPPictureFree(&picture); }
};

struct DataGuard {
    WebPData data;
    DataGuard() { WebPDataInit(&data); }
    ~DataGuard() { WebPDataClear(&data); }
};

}  // namespace

WebpAnimWriter::WebpAnimWriter(std::string path, const AnimCanvas& canvas)
    : path_(std::move(path)), canvas_(canvas), file_(path_) {
    WebPAnimEncoderOptions options;
    if (!WebPAnimEncoderOptionsInit(&options)) ThrowFileError(EINVAL, path_);
    options.anim_params.bgcolor = 0x00000000;  // transparent (the default is opaque white)
    options.anim_params.loop_count = 0;        // forever
    options.allow_mixed = 0;
    encoder_ = WebPAnimEncoderNew(canvas.width, canvas.height, &options);
    if (encoder_ == nullptr) ThrowFileError(ENOMEM, path_);
}

WebpAnimWriter::~WebpAnimWriter() {
    WebPAnimEncoderDelete(encoder_);
}

void WebpAnimWriter::AddFrame(const std::uint8_t* rgba) {
    WebPConfig config;
    if (!WebPConfigInit(&config)) ThrowFileError(EINVAL, path_);
    config.lossless = 1;
    config.exact = 1;
    config.quality = 75;  // lossless effort, not fidelity
    config.method = 4;
    PictureGuard frame;
    frame.picture.use_argb = 1;
    frame.picture.width = canvas_.width;
    frame.picture.height = canvas_.height;
    if (!WebPPictureImportRGBA(&frame.picture, rgba, canvas_.width * 4)) {
        ThrowFileError(ENOMEM, path_);
    }
    if (!WebPAnimEncoderAdd(encoder_, &frame.picture, static_cast<int>(timestampMs_), &config)) {
        ThrowFileError(frame.picture.error_code == VP8_ENC_ERROR_OUT_OF_MEMORY ? ENOMEM : EINVAL,
                       path_);
    }
    timestampMs_ += AnimFrameDelay(added_, canvas_.fps, 1000);
    ++added_;
}

void WebpAnimWriter::Finish() {
    if (added_ != canvas_.frameCount) throw std::logic_error("WebP: frame count differs");
    // A last call without a picture gives the last frame its duration.
    if (!WebPAnimEncoderAdd(encoder_, nullptr, static_cast<int>(timestampMs_), nullptr)) {
        ThrowFileError(EINVAL, path_);
    }
    DataGuard out;
    if (!WebPAnimEncoderAssemble(encoder_, &out.data)) ThrowFileError(ENOMEM, path_);
    // One frame comes out as a still picture without the extended header; its lossless
    // bitstream then says itself whether it has alpha.
    if (out.data.size > kVp8xFlagsOffset && std::memcmp(out.data.bytes + 12, "VP8X", 4) == 0) {
        const_cast<std::uint8_t*>(out.data.bytes)[kVp8xFlagsOffset] |= kVp8xAlphaFlag;
    }
    file_.Write(out.data.bytes, out.data.size);
    file_.Commit();
}

}  // namespace pixhaul
