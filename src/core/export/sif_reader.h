#pragma once
// Reads a SIF file back: its tables and its sheet's pixels. Every field is checked against the
// file's size before it is used; nothing is allocated from a field that was not checked.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "export/sif_format.h"
#include "platform/surface.h"

namespace pixhaul {

struct SifContents {
    std::uint32_t ImagePos = 0;
    std::int16_t LastAction = -1;
    std::vector<SifAction> Actions;  // LastAction + 1 entries
    SifImageHeader Image;
    bool PayloadCoded = false;    // coded form (true) or stored form of the Huffman step
    std::uint64_t RleLength = 0;  // length of the run-length stream once uncoded
    Surface Sheet;                // SheetWidth x SheetHeight
};

// Parses a whole SIF file held in memory. Returns "" on success, else what was wrong (and where);
// on failure the contents are unspecified.
std::string ReadSif(std::span<const std::uint8_t> bytes, SifContents& out);

// Reads the file at path and parses it.
std::string ReadSifFile(const std::string& path, SifContents& out);

}  // namespace pixhaul
