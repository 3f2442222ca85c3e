#pragma once
// The SIF file ("Sprite Image Files"): one object's frames on one sheet, with tables that tell
// where every frame of every direction of every action lies on it.
//
//   "SF" 01 02, ImagePos (uint32, 1-based offset of the image section)
//   LastAction (int16); per action LastDirection (int16); per direction LastFrame (int16) and
//   LastFrame + 1 SifFrame records of 28 bytes
//   image section: PayloadLast (int32), BackColor (COLORREF), SheetWidth, SheetHeight (int32),
//   RleKind (byte, 5), payload (PayloadLast + 1 bytes, the Huffman-coded kind-5 stream)
// Every number is little-endian; nothing is padded.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/byte_order.h"
#include "platform/surface.h"

namespace pixhaul {

inline constexpr std::uint8_t kSifSignature0 = 'S';
inline constexpr std::uint8_t kSifSignature1 = 'F';
inline constexpr std::uint8_t kSifFixed0 = 1;
inline constexpr std::uint8_t kSifFixed1 = 2;
inline constexpr std::size_t kSifHeaderSize = 8;
inline constexpr std::size_t kSifImagePosOffset = 4;
inline constexpr std::size_t kSifFrameSize = 28;
inline constexpr std::size_t kSifImageHeaderSize = 17;
// Counts are stored as "last index" in 16 bits, so a level holds at most this many entries.
inline constexpr std::int32_t kSifMaxEntries = 32768;

struct SifFrame {
    std::int32_t X = 0;
    std::int32_t Y = 0;
    std::int32_t Height = 0;
    std::int32_t Width = 0;
    std::int32_t Reserved = 0;
    std::int32_t Extra1 = 0;
    std::int32_t Extra2 = 0;

    bool operator==(const SifFrame&) const = default;
};

struct SifDirection {
    std::int16_t LastFrame = -1;  // Frames.size() - 1
    std::vector<SifFrame> Frames;

    bool operator==(const SifDirection&) const = default;
};

struct SifAction {
    std::int16_t LastDirection = -1;  // Directions.size() - 1
    std::vector<SifDirection> Directions;

    bool operator==(const SifAction&) const = default;
};

// The fields of the image section in front of the payload.
struct SifImageHeader {
    std::int32_t PayloadLast = 0;
    COLORREF BackColor = 0;
    std::int32_t SheetWidth = 0;
    std::int32_t SheetHeight = 0;
    std::uint8_t RleKind = 5;
};

// The header (with ImagePos still 0) and the animation tables, as written to the file.
std::vector<std::uint8_t> SerializeSifTables(const std::vector<SifAction>& SifActionTable);
// The 17 bytes of the image section in front of the payload.
std::vector<std::uint8_t> SerializeSifImageHeader(const SifImageHeader& header);

}  // namespace pixhaul
