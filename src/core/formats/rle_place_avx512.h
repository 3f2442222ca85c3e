#pragma once
// Kind-5 records placed with 64-byte stores where the processor has AVX-512 VBMI: sixteen
// one-pixel records (shaded sprites are mostly such records) with one byte permutation and one
// store, and each run with stores that end with it. A sheet's rows took 1.6 times as long record
// by record with 16-byte stores.
#include <cstdint>

namespace pixhaul {

// Whether the stream decoder places records this way (true where the processor has AVX-512 BW
// and VBMI, unless turned off). Tests turn it off to cover the 16-byte stores of other
// processors.
bool RlePlacementAvx512Enabled();
void SetRlePlacementAvx512(bool enabled);

// Places the records from `record` on, up to end, from pixels on (3 bytes a pixel, blue first)
// while each ends within the rowLeft pixels there; leaves record at end or at the first record
// that does not, and returns the pixels placed. Writes nothing past them. Call only where
// RlePlacementAvx512Enabled().
std::uint64_t PlaceRecordsAvx512(std::uint8_t* pixels, std::uint64_t rowLeft,
                                 const std::uint8_t*& record, const std::uint8_t* end);

}  // namespace pixhaul
