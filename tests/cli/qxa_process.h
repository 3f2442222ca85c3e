#pragma once
// Runs a program of the build (qxa, make_demo) and collects its exit code and output, and
// reads back the pictures it writes.
#include <fcntl.h>
#include <png.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive_builder.h"

extern char** environ;

namespace pixhaul::testing {

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs program with args; stdin is /dev/null, stdout and stderr are files (not terminals).
inline ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args) {
    TempDir capture;
    const std::string outPath = capture.File("out");
    const std::string errPath = capture.File("err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT, 0600);
    std::vector<std::string> all = {program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot run " + program);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    ProcessResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = ReadText(outPath);
    result.err = ReadText(errPath);
    return result;
}

inline ProcessResult RunQxa(const std::vector<std::string>& args) {
    return RunProgram(PIXHAUL_QXA_BINARY, args);
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

// Reads a PNG or BMP file (libpng reads only PNG; BMPs are read by hand).
inline Picture ReadPicture(const std::string& path) {
    Picture picture;
    const std::string bytes = ReadText(path);
    if (bytes.size() >= 54 && bytes[0] == 'B' && bytes[1] == 'M') {
        auto u32 = [&](std::size_t at) {
            return static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at])) |
                   (static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 1])) << 8) |
                   (static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 2])) << 16) |
                   (static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 3])) << 24);
        };
        picture.width = u32(18);
        picture.height = u32(22);
        const std::size_t stride = 4 * ((24 * picture.width + 31) / 32);
        if (bytes.size() != 54 + stride * picture.height) throw std::runtime_error("bad BMP");
        for (std::uint32_t y = 0; y < picture.height; ++y) {
            const std::size_t row = 54 + stride * (picture.height - 1 - y);
            for (std::uint32_t x = 0; x < picture.width; ++x) {
                picture.rgb.push_back(static_cast<std::uint8_t>(bytes[row + 3 * x + 2]));
                picture.rgb.push_back(static_cast<std::uint8_t>(bytes[row + 3 * x + 1]));
                picture.rgb.push_back(static_cast<std::uint8_t>(bytes[row + 3 * x]));
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
