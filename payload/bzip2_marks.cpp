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
    }
}

void Bzip2MarkScanner::scan(const std::uint8_t* bytes, std::size_t count, std::vector<Bzip2Mark>& marks)
{
    for (std::size_t k = 0; k < count; ++k) {
        last8_ = last8_ << 8 | bytes[k];
        ++scanned_;
        // A magic ending in this byte at shift s has its fourth byte two bytes back.
        const std::uint16_t shifts = table_[(last8_ >> 16) & 0xFF];
        if (!shifts)
            continue;
        const std::uint64_t after = scanned_ * 8; // bit offset just past this byte
        for (int s = 7; s >= 0; --s) {
            if (after < magicBits + s)
                continue;
            const std::uint64_t bits = (last8_ >> s) & magicMask;
            if ((shifts & (1u << s)) && bits == blockMagic)
                marks.push_back({Bzip2Mark::Kind::block, after - s - magicBits});
            else if ((shifts & (0x100u << s)) && bits == endMagic)
                marks.push_back({Bzip2Mark::Kind::end, after - s - magicBits});
        }
    }
}

} // namespace ar
