// Where bzip2's marks lie in a byte stream: every block magic (0x314159265359) and
// end mark (0x177245385090) at any bit offset, found as the bytes arrive in pieces
// of any size. Pure: bytes in, bit offsets out. A mark found here is a candidate;
// the same 48 bits may turn up by chance inside a block's data.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace ar {

struct Bzip2Mark {
    enum class Kind { block, end } kind;
    std::uint64_t at; // bit offset of the mark's first bit in the stream
    bool operator==(const Bzip2Mark& other) const { return kind == other.kind && at == other.at; }
};

class Bzip2MarkScanner {
public:
    static constexpr std::uint64_t blockMagic = 0x314159265359;
    static constexpr std::uint64_t endMagic = 0x177245385090;
    static constexpr std::uint64_t magicBits = 48;

    Bzip2MarkScanner();

    // Scans the next `count` bytes of the stream and appends, in stream order, the
    // marks whose last bit lies in them.
    void scan(const std::uint8_t* bytes, std::size_t count, std::vector<Bzip2Mark>& marks);
    // Bytes scanned so far.
    std::uint64_t scanned() const { return scanned_; }

private:
    // For each byte value, the shifts at which it can be the fourth byte of one of
    // the magics (low 8 bits: block magic, high 8 bits: end mark).
    std::array<std::uint16_t, 256> table_{};
    // A bit for each pair of bytes that, at some shift, are the two bytes just
    // before the byte in which a magic ends (both lie wholly inside the magic).
    // (32-bit words: a 64-bit shift by a variable count branches on 32-bit x86.)
    std::array<std::uint32_t, 2048> pairs_{};
    bool hasPair(std::uint8_t second, std::uint8_t first) const // the bytes two and one back
    {
        const unsigned pair = unsigned(second) << 8 | first;
        return pairs_[pair / 32] >> pair % 32 & 1;
    }
    std::uint64_t last8_ = 0; // the last eight bytes scanned
    std::uint64_t scanned_ = 0;
};

} // namespace ar
