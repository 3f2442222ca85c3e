#pragma once
// The SIF reader target: ReadSif on arbitrary bytes. What it accepts must be whole: tables of
// the sizes they claim, which write back to the very bytes they were read from, and a sheet of
// the size the image section gives. Read again with the payload uncoded ahead on a worker
// thread and its records placed the other way (16-byte stores where the processor has wider
// ones), a file gives the same message or the same sheet.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "formats/rle_place_avx512.h"
#include "formats/sif_format.h"
#include "formats/sif_reader.h"
#include "path_switch.h"

namespace pixhaul::fuzz {

// The stream decoder's way of placing records (64-byte stores where the processor has them, or
// 16-byte ones) for a scope.
using PlacementPath = PathSwitch<RlePlacementAvx512Enabled, SetRlePlacementAvx512>;

inline std::string ReadUncodedAhead(std::span<const std::uint8_t> bytes, Surface* sheet) {
    SifContents contents;
    SifSheetReader reader;
    reader.UncodeAhead(true);
    std::string error = reader.Open(bytes, contents);
    if (!error.empty()) return error;
    std::uint8_t* bits = nullptr;
    if (sheet) {
        sheet->Reset(contents.Image.SheetWidth, contents.Image.SheetHeight);
        if (sheet->SizeBytes() > 0) bits = sheet->MutableBits();
    }
    error = reader.ReadRows(bits, sheet ? sheet->Stride() : 0, contents.Image.SheetHeight);
    return error.empty() ? reader.Finish() : error;
}

inline std::string RunSifReaderInput(std::span<const std::uint8_t> bytes) {
    SifContents contents;
    const std::string verdict = ReadSif(bytes, contents);
    Surface ahead;
    const PlacementPath other(!RlePlacementAvx512Enabled());
    if (ReadUncodedAhead(bytes, verdict.empty() ? &ahead : nullptr) != verdict) {
        return "uncoded ahead, the file gives another message";
    }
    if (!verdict.empty()) return "";
    if (contents.Sheet.SizeBytes() > 0 &&
        std::memcmp(ahead.Bits(), contents.Sheet.Bits(), contents.Sheet.SizeBytes()) != 0) {
        return "uncoded ahead, the file gives another sheet";
    }

    if (contents.Actions.size() != static_cast<std::size_t>(contents.LastAction + 1)) {
        return "LastAction differs from the actions read";
    }
    for (const SifAction& action : contents.Actions) {
        if (action.Directions.size() != static_cast<std::size_t>(action.LastDirection + 1)) {
            return "LastDirection differs from the directions read";
        }
        for (const SifDirection& direction : action.Directions) {
            if (direction.Frames.size() != static_cast<std::size_t>(direction.LastFrame + 1)) {
                return "LastFrame differs from the frames read";
            }
        }
    }
    const std::vector<std::uint8_t> tables = SerializeSifTables(contents.Actions);
    const std::size_t tablesEnd = contents.ImagePos - 1;
    if (tables.size() != tablesEnd || !std::equal(tables.begin() + kSifHeaderSize, tables.end(),
                                                  bytes.begin() + kSifHeaderSize)) {
        return "the tables read do not write back to the same bytes";
    }
    if (contents.Sheet.Width() != contents.Image.SheetWidth ||
        contents.Sheet.Height() != contents.Image.SheetHeight) {
        return "the sheet read differs in size from the image section";
    }
    const std::size_t fileSize =
        tablesEnd + kSifImageHeaderSize + static_cast<std::size_t>(contents.Image.PayloadLast) + 1;
    if (fileSize > bytes.size()) return "the sections read run past the file";
    return "";
}

}  // namespace pixhaul::fuzz
