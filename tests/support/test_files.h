#pragma once
// Small readers shared by the tests: whole files, little-endian fields, folder listings, and
// the pictures (BMP or PNG) the exports write.
#include <png.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "formats/byte_order.h"

namespace pixhaul::testing {

inline std::vector<std::uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return LoadLE32(&b[at]);
}

inline std::int32_t SLe32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::int32_t>(Le32(b, at));
}

inline std::uint16_t Le16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return LoadLE16(&b[at]);
}

// The names in a folder, sorted; none when it does not exist.
inline std::vector<std::string> FileNames(const std::string& folder) {
    std::vector<std::string> names;
    if (!std::filesystem::exists(folder)) return names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct Picture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> rgb;  // top-down, red, green, blue

    // 0x00RRGGBB of pixel (x, y), for readable expectations.
    std::uint32_t At(std::uint32_t x, std::uint32_t y) const {
        const std::uint8_t* p = &rgb[(y * width + x) * 3];
        return (static_cast<std::uint32_t>(p[0]) << 16) | (p[1] << 8) | p[2];
    }
};

// Reads a PNG (through libpng) or a 24-bit BMP (by hand, checking its length).
inline Picture ReadPicture(const std::string& path) {
    Picture picture;
    const std::vector<std::uint8_t> bytes = ReadAll(path);
    if (bytes.size() >= 54 && bytes[0] == 'B' && bytes[1] == 'M') {
        picture.width = Le32(bytes, 18);
        picture.height = Le32(bytes, 22);
        const std::size_t stride = 4 * ((24 * picture.width + 31) / 32);
        if (bytes.size() != 54 + stride * picture.height) throw std::runtime_error("bad BMP");
        for (std::uint32_t y = 0; y < picture.height; ++y) {
            const std::size_t row = 54 + stride * (picture.height - 1 - y);
            for (std::uint32_t x = 0; x < picture.width; ++x) {
                for (int c = 2; c >= 0; --c) picture.rgb.push_back(bytes[row + 3 * x + c]);
            }
        }
        return picture;
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
        throw std::runtime_error("not a picture: " + path);
    }
    image.format = PNG_FORMAT_RGB;
    picture.width = image.width;
    picture.height = image.height;
    picture.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr)) {
        throw std::runtime_error("bad PNG: " + path);
    }
    return picture;
}

}  // namespace pixhaul::testing
