// Writes the seed corpus of every fuzz target into OUTDIR/<target>/ (see targets/seeds.h).
//   make_fuzz_seeds OUTDIR
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "targets/seeds.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds OUTDIR\n");
        return 2;
    }
    try {
        for (const auto& [target, seeds] : pixhaul::fuzz::AllSeeds()) {
            const std::filesystem::path folder = std::filesystem::path(argv[1]) / target;
            std::filesystem::create_directories(folder);
            for (std::size_t i = 0; i < seeds.size(); ++i) {
                std::ofstream out(folder / ("seed-" + std::to_string(i)), std::ios::binary);
                out.write(reinterpret_cast<const char*>(seeds[i].data()),
                          static_cast<std::streamsize>(seeds[i].size()));
                if (!out) throw std::runtime_error("cannot write a seed into " + folder.string());
            }
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_fuzz_seeds: %s\n", error.what());
        return 1;
    }
    return 0;
}
