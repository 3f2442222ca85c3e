#pragma once
// The Huffman targets.
//
// Decode: HuffmanDecode on arbitrary bytes. A block it accepts must be refused under a limit one
// byte below what it gave; a coded block is accepted again at exactly that limit, with the same
// bytes, and the decoding chains' other way (values gathered from slots where the processor has
// AVX-512 VBMI2, or stored as they come) gives the same result. (A stored block need not be: under
// a limit, a head that reads as a coded block claiming more is refused outright, which the coder's
// own stored blocks can never do.)
//
// Round trip: the input is a source. Its block must decode to it exactly, HuffmanEncode in place
// must give the same block, and so must the two-pass build over the source cut into pieces,
// packed the other way (64 values at a time where the processor has AVX-512 VBMI, or one by
// one).
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "formats/huffman.h"
#include "formats/huffman_chains_avx512.h"
#include "formats/huffman_decode.h"
#include "formats/huffman_pack_avx512.h"
#include "path_switch.h"

namespace pixhaul::fuzz {

inline std::string RunHuffmanDecodeInput(std::span<const std::uint8_t> bytes) {
    const HuffmanDecoded decoded = HuffmanDecode(bytes);
    {
        const PathSwitch<huffman::ChainsAvx512Enabled, huffman::SetChainsAvx512> other(
            !huffman::ChainsAvx512Enabled());
        const HuffmanDecoded again = HuffmanDecode(bytes);
        if (again.error != decoded.error || again.data != decoded.data) {
            return "the chains' two ways decode differently";
        }
    }
    if (!decoded.ok()) {
        if (!decoded.data.empty()) return "a failed decode hands out data";
        return "";
    }
    const std::uint64_t size = decoded.data.size();
    if (decoded.form == HuffmanForm::Coded && size > bytes.size() * std::uint64_t{8}) {
        return "more bytes decoded than the block has bits";
    }
    if (decoded.form == HuffmanForm::Coded) {
        const HuffmanDecoded atLimit = HuffmanDecode(bytes, size);
        if (!atLimit.ok() || atLimit.data != decoded.data || atLimit.form != decoded.form) {
            return "the decode changes under a limit it keeps";
        }
    }
    if (size > 0 && HuffmanDecode(bytes, size - 1).ok()) {
        return "a limit below the source length was not kept";
    }
    return "";
}

inline std::string RunHuffmanRoundTripInput(std::span<const std::uint8_t> source) {
    const std::vector<std::uint8_t> block = HuffmanEncoded(source);

    const HuffmanDecoded decoded = HuffmanDecode(block);
    if (!decoded.ok()) return "the coder's own block does not decode: " + decoded.error;
    if (!std::equal(decoded.data.begin(), decoded.data.end(), source.begin(), source.end())) {
        return "the block decodes to other bytes";
    }
    std::size_t values = 0;
    {
        std::vector<bool> seen(256, false);
        for (std::uint8_t b : source) {
            if (!seen[b]) ++values;
            seen[b] = true;
        }
    }
    const HuffmanForm want = values >= 2 ? HuffmanForm::Coded : HuffmanForm::Stored;
    if (decoded.form != want) return "the block is not in the form the source calls for";

    std::vector<std::uint8_t> inPlace(source.begin(), source.end());
    HuffmanEncode(inPlace);
    if (inPlace != block) return "HuffmanEncode differs from HuffmanEncoded";

    // The two-pass build, the source in three pieces cut where its first byte says.
    const std::size_t cut1 = source.empty() ? 0 : source[0] % (source.size() + 1);
    const std::size_t cut2 = cut1 + (source.size() - cut1) / 2;
    const std::span<const std::uint8_t> pieces[] = {
        source.subspan(0, cut1), source.subspan(cut1, cut2 - cut1), source.subspan(cut2)};
    const PathSwitch<HuffmanPackAvx512Enabled, SetHuffmanPackAvx512> other(
        !HuffmanPackAvx512Enabled());
    ByteHistogram histogram;
    for (const auto& piece : pieces) histogram.Add(piece);
    const HuffmanPlan plan(histogram);
    std::vector<std::uint8_t> streamed = plan.Head();
    if (streamed.size() != plan.HeadSize()) return "Head() differs from HeadSize()";
    HuffmanDataWriter writer(plan);
    for (const auto& piece : pieces) writer.Write(piece, streamed);
    writer.Finish(streamed);
    if (streamed.size() != plan.BlockSize()) return "the block's size differs from BlockSize()";
    if (streamed != block) return "the two-pass block differs from HuffmanEncoded";
    return "";
}

}  // namespace pixhaul::fuzz
