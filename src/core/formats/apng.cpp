#include "formats/apng.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace pixhaul {

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::size_t kMaxChunkData = std::size_t{1} << 20;
constexpr std::size_t kBytesPerPixel = 4;

void PutBe32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 24));
    out.push_back(static_cast<std::uint8_t>(value >> 16));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void PutBe16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

std::uint8_t Paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return static_cast<std::uint8_t>(a);
    return static_cast<std::uint8_t>(pb <= pc ? b : c);
}

// Filters row (prior: the row above, or zeros) into out[0] = filter type, out[1..] = bytes.
void FilterRow(const std::uint8_t* row, const std::uint8_t* prior, std::size_t length,
               std::vector<std::uint8_t>& out) {
    std::array<std::vector<std::uint8_t>, 4> tries;
    std::size_t best = 0;
    std::uint64_t bestSum = UINT64_MAX;
    for (std::size_t type = 0; type < tries.size(); ++type) {
        std::vector<std::uint8_t>& t = tries[type];
        t.resize(length);
        std::uint64_t sum = 0;
        for (std::size_t i = 0; i < length; ++i) {
            const int a = i >= kBytesPerPixel ? row[i - kBytesPerPixel] : 0;
            const int b = prior[i];
            const int c = i >= kBytesPerPixel ? prior[i - kBytesPerPixel] : 0;
            const int predicted = type == 0 ? 0 : type == 1 ? a : type == 2 ? b : Paeth(a, b, c);
            t[i] = static_cast<std::uint8_t>(row[i] - predicted);
            sum += static_cast<std::uint64_t>(std::abs(static_cast<std::int8_t>(t[i])));
        }
        if (sum < bestSum) {
            bestSum = sum;
            best = type;
        }
    }
    out.push_back(best == 3 ? 4 : static_cast<std::uint8_t>(best));  // Paeth is filter 4
    out.insert(out.end(), tries[best].begin(), tries[best].end());
}

}  // namespace

std::vector<std::uint8_t> DeflateRgbaRows(const std::uint8_t* rgba, std::int32_t width,
                                          std::int32_t height) {
    const std::size_t length = static_cast<std::size_t>(width) * kBytesPerPixel;
    const std::vector<std::uint8_t> zeros(length, 0);
    z_stream z{};
    if (deflateInit(&z, Z_DEFAULT_COMPRESSION) != Z_OK) throw std::bad_alloc();
    std::vector<std::uint8_t> out(deflateBound(&z, 0) + 64);
    std::vector<std::uint8_t> filtered;
    std::size_t produced = 0;
    const auto pump = [&](int flush) {
        int result = Z_OK;
        do {
            if (out.size() - produced < 65536) out.resize(out.size() * 2 + 65536);
            z.next_out = out.data() + produced;
            z.avail_out = static_cast<uInt>(out.size() - produced);
            result = deflate(&z, flush);
            produced = out.size() - z.avail_out;
        } while (z.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
    };
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* row = rgba + static_cast<std::size_t>(y) * length;
        filtered.clear();
        FilterRow(row, y == 0 ? zeros.data() : row - length, length, filtered);
        z.next_in = filtered.data();
        z.avail_in = static_cast<uInt>(filtered.size());
        pump(y + 1 == height ? Z_FINISH : Z_NO_FLUSH);
    }
    deflateEnd(&z);
    out.resize(produced);
    return out;
}

ApngWriter::ApngWriter(std::string path, const AnimCanvas& canvas)
    : path_(std::move(path)), canvas_(canvas), file_(path_) {
    file_.Write(kSignature, sizeof kSignature);
    std::vector<std::uint8_t> header;
    PutBe32(header, static_cast<std::uint32_t>(canvas.width));
    PutBe32(header, static_cast<std::uint32_t>(canvas.height));
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, filtered, progressive
    WriteChunk("IHDR", header);
    std::vector<std::uint8_t> control;
    PutBe32(control, static_cast<std::uint32_t>(canvas.frameCount));
    PutBe32(control, 0);  // plays: forever
    WriteChunk("acTL", control);
}

void ApngWriter::WriteChunk(const char type[4], const std::vector<std::uint8_t>& body) {
    std::vector<std::uint8_t> head;
    PutBe32(head, static_cast<std::uint32_t>(body.size()));
    head.insert(head.end(), type, type + 4);
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
    if (!body.empty()) crc = crc32(crc, body.data(), static_cast<uInt>(body.size()));
    std::vector<std::uint8_t> tail;
    PutBe32(tail, static_cast<std::uint32_t>(crc));
    file_.Write(head.data(), head.size());
    file_.Write(body.data(), body.size());
    file_.Write(tail.data(), tail.size());
}

void ApngWriter::WriteFrameData(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> body;
    if (added_ == 0) {
        body.assign(data, data + size);
        WriteChunk("IDAT", body);
        return;
    }
    PutBe32(body, sequence_++);
    body.insert(body.end(), data, data + size);
    WriteChunk("fdAT", body);
}

void ApngWriter::AddFrame(const std::uint8_t* rgba) {
    if (added_ >= canvas_.frameCount) throw std::logic_error("APNG: more frames than announced");
    std::vector<std::uint8_t> control;
    PutBe32(control, sequence_++);
    PutBe32(control, static_cast<std::uint32_t>(canvas_.width));
    PutBe32(control, static_cast<std::uint32_t>(canvas_.height));
    PutBe32(control, 0);  // x offset
    PutBe32(control, 0);  // y offset
    PutBe16(control, 1);  // 1 / fps seconds
    PutBe16(control, static_cast<std::uint16_t>(canvas_.fps));
    control.push_back(0);  // dispose: none (the next frame covers everything)
    control.push_back(0);  // blend: source
    WriteChunk("fcTL", control);
    const std::vector<std::uint8_t> data = DeflateRgbaRows(rgba, canvas_.width, canvas_.height);
    for (std::size_t at = 0; at < data.size(); at += kMaxChunkData) {
        WriteFrameData(data.data() + at, std::min(kMaxChunkData, data.size() - at));
    }
    ++added_;
}

void ApngWriter::Finish() {
    if (added_ != canvas_.frameCount) throw std::logic_error("APNG: fewer frames than announced");
    WriteChunk("IEND", {});
    file_.Commit();
}

}  // namespace pixhaul
