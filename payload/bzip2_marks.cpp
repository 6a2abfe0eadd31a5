#include "payload/bzip2_marks.h"

namespace ar {

namespace {
constexpr std::uint64_t magicMask = (std::uint64_t(1) << Bzip2MarkScanner::magicBits) - 1;
}

Bzip2MarkScanner::Bzip2MarkScanner()
{
    for (unsigned s = 0; s < 8; ++s) {
        table_[(blockMagic >> (16 - s)) & 0xFF] |= static_cast<std::uint16_t>(1u << s);
        table_[(endMagic >> (16 - s)) & 0xFF] |= static_cast<std::uint16_t>(0x100u << s);
        for (std::uint64_t magic : {blockMagic, endMagic}) {
            const unsigned pair = static_cast<unsigned>((magic << s) >> 8) & 0xFFFF;
            pairs_[pair / 32] |= std::uint32_t(1) << pair % 32;
        }
    }
}

namespace {
// The eight bytes from `bytes` on, the first one highest.
std::uint64_t eightBytes(const std::uint8_t* bytes)
{
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i)
        value = value << 8 | bytes[i];
    return value;
}
} // namespace

void Bzip2MarkScanner::scan(const std::uint8_t* bytes, std::size_t count, std::vector<Bzip2Mark>& marks)
{
    std::uint64_t last8 = last8_; // the eight bytes up to byte k
    const std::uint64_t first = scanned_;
    for (std::size_t k = 0; k < count; ++k) {
        if (k >= 8) {
            // Most bytes are passed over by the two before them.
            while (k < count && !hasPair(bytes[k - 2], bytes[k - 1]))
                ++k;
            if (k == count)
                break;
            last8 = eightBytes(bytes + k - 7);
        } else {
            last8 = last8 << 8 | bytes[k];
        }
        // A magic ending in this byte at shift s has its fourth byte two bytes back.
        const std::uint16_t shifts = table_[(last8 >> 16) & 0xFF];
        if (!shifts)
            continue;
        const std::uint64_t after = (first + k + 1) * 8; // bit offset just past this byte
        for (int s = 7; s >= 0; --s) {
            if (after < magicBits + s)
                continue;
            const std::uint64_t bits = (last8 >> s) & magicMask;
            if ((shifts & (1u << s)) && bits == blockMagic)
                marks.push_back({Bzip2Mark::Kind::block, after - s - magicBits});
            else if ((shifts & (0x100u << s)) && bits == endMagic)
                marks.push_back({Bzip2Mark::Kind::end, after - s - magicBits});
        }
    }
    last8_ = count >= 8 ? eightBytes(bytes + count - 8) : last8;
    scanned_ = first + count;
}

} // namespace ar
