#include "payload/bzip2_block.h"

#include <algorithm>
#include <cstring>

namespace ar {

namespace {

constexpr unsigned maxGroups = 6;
constexpr unsigned maxAlphabet = 258; // 256 bytes, RUNA and RUNB, less one, and the block's end
constexpr unsigned maxSelectors = 18002;
constexpr unsigned groupSize = 50; // symbols coded with one table
constexpr unsigned longestCode = 20;
constexpr unsigned fastBits = 10; // codes this long or shorter take one lookup

// bzip2's CRC: CRC-32 (0x04C11DB7), most significant bit first, four bytes a step.
struct CrcTables {
    std::uint32_t entries[4][256];
    constexpr CrcTables() : entries()
    {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t crc = i << 24;
            for (int bit = 0; bit < 8; ++bit)
                crc = crc & 0x80000000u ? crc << 1 ^ 0x04C11DB7u : crc << 1;
            entries[0][i] = crc;
        }
        for (int k = 1; k < 4; ++k)
            for (std::uint32_t i = 0; i < 256; ++i)
                entries[k][i] = entries[k - 1][i] << 8 ^ entries[0][entries[k - 1][i] >> 24];
    }
};
constexpr CrcTables crcTables;

std::uint32_t crcOf(std::uint32_t crc, const char* bytes, std::size_t count)
{
    const auto& t = crcTables.entries;
    const auto* at = reinterpret_cast<const std::uint8_t*>(bytes);
    for (; count >= 4; at += 4, count -= 4) {
        const std::uint32_t x = crc ^ (std::uint32_t(at[0]) << 24 | std::uint32_t(at[1]) << 16 |
                                       std::uint32_t(at[2]) << 8 | at[3]);
        crc = t[3][x >> 24] ^ t[2][x >> 16 & 0xFF] ^ t[1][x >> 8 & 0xFF] ^ t[0][x & 0xFF];
    }
    for (; count > 0; ++at, --count)
        crc = crc << 8 ^ t[0][(crc >> 24) ^ *at];
    return crc;
}

// One coding table, canonical as bzip2 assigns its codes: by length, then by symbol.
struct CodingTable {
    // Symbol << 5 | length for each value of the next fastBits bits that begins
    // with a code no longer; 0 where a longer code begins.
    std::uint16_t fast[1 << fastBits];
    std::uint32_t first[longestCode + 1];  // the first code of each length
    std::uint32_t count[longestCode + 1];  // codes of each length
    std::uint32_t offset[longestCode + 1]; // where in `symbols` they begin
    std::uint16_t symbols[maxAlphabet];

    // False unless the lengths make a complete prefix code (as every table that
    // bzip2 writes does); libbz2 decodes other ones in its own way.
    bool build(const std::uint8_t* lengths, unsigned alphabet)
    {
        std::uint32_t counts[longestCode + 1] = {};
        for (unsigned i = 0; i < alphabet; ++i)
            ++counts[lengths[i]];
        std::uint32_t space = 0;
        for (unsigned length = 1; length <= longestCode; ++length)
            space += counts[length] << (longestCode - length);
        if (space != 1u << longestCode)
            return false;
        std::uint32_t code = 0, index = 0;
        for (unsigned length = 1; length <= longestCode; ++length) {
            first[length] = code;
            count[length] = counts[length];
            offset[length] = index;
            code = (code + counts[length]) << 1;
            index += counts[length];
        }
        std::uint32_t next[longestCode + 1];
        std::copy(offset, offset + longestCode + 1, next);
        for (unsigned i = 0; i < alphabet; ++i)
            symbols[next[lengths[i]]++] = static_cast<std::uint16_t>(i);
        std::fill(std::begin(fast), std::end(fast), std::uint16_t(0));
        for (unsigned length = 1; length <= fastBits; ++length) {
            const unsigned span = 1u << (fastBits - length);
            for (std::uint32_t k = 0; k < count[length]; ++k) {
                const std::uint16_t entry =
                    static_cast<std::uint16_t>(symbols[offset[length] + k] << 5 | length);
                std::uint16_t* at = fast + ((first[length] + k) << (fastBits - length));
                std::fill(at, at + span, entry);
            }
        }
        return true;
    }
};

// On 32-bit x86 the decoder's hot loops use SSE2, which every system the product
// runs on has (Windows 8 and later require it); a processor without it leaves its
// blocks to libbz2.
#if defined(__i386__) && defined(__GNUC__)
#define AR_WITH_SSE2 __attribute__((target("sse2")))
bool processorTakesSse2()
{
    static const bool takes = __builtin_cpu_supports("sse2");
    return takes;
}
#else
#define AR_WITH_SSE2
constexpr bool processorTakesSse2()
{
    return true;
}
#endif

// The move-to-front list of the block's bytes. Taking the n-th byte to the front
// moves the n before it sixteen at a time, from the top down: each step reads
// sixteen bytes below those the step before wrote, and the lowest sixteen, read
// first, are written last.
class MoveToFront {
public:
    explicit MoveToFront(const std::uint8_t* bytes) { std::memcpy(list_, bytes, 256); }
    unsigned front() const { return list_[0]; }
    AR_WITH_SSE2 unsigned take(unsigned n)
    {
        std::uint8_t* const list = list_;
        const std::uint8_t byte = list[n];
        if (n < 16) {
            for (unsigned k = n; k > 0; --k)
                list[k] = list[k - 1];
        } else {
            std::uint8_t lowest[16], step[16];
            std::memcpy(lowest, list, 16);
            for (unsigned k = n; k > 16; k -= 16) {
                std::memcpy(step, list + k - 16, 16);
                std::memcpy(list + k - 15, step, 16);
            }
            std::memcpy(list + 1, lowest, 16);
        }
        list[0] = byte;
        return byte;
    }

private:
    std::uint8_t list_[256];
};

} // namespace

// The block's bits, first bit highest; zeros beyond the readable bytes.
class Bzip2BlockDecoder::Bits {
public:
    Bits(const std::uint8_t* bytes, std::size_t size) : bytes_(bytes), size_(size) {}
    // The next 32 bits (at least 25 of them from the input, or zeros).
    std::uint32_t peek() const
    {
        const std::size_t at = position_ >> 3;
        std::uint32_t word = 0;
        if (at + 4 <= size_) {
            std::memcpy(&word, bytes_ + at, 4);
            word = __builtin_bswap32(word);
        } else {
            for (std::size_t i = at; i < at + 4; ++i)
                word = word << 8 | (i < size_ ? bytes_[i] : 0);
        }
        return word << (position_ & 7);
    }
    std::uint32_t get(unsigned count) // 1 to 24 bits
    {
        const std::uint32_t value = peek() >> (32 - count);
        position_ += count;
        return value;
    }
    void skip(unsigned count) { position_ += count; }
    std::uint32_t position() const { return position_; }

private:
    const std::uint8_t* bytes_;
    std::size_t size_;
    std::uint32_t position_ = 0;
};

bool Bzip2BlockDecoder::start(const std::uint8_t* bytes, std::size_t size, std::uint64_t bits, int level)
{
    done_ = false;
    if (!processorTakesSse2())
        return false;
    // A block longer than bzip2 writes, or a level out of range, is libbz2's to judge.
    if (level < 1 || level > 9 || bits > (std::uint64_t(1) << 30) || bits > std::uint64_t(size) * 8)
        return false;
    Bits in(bytes, size);
    if (!readBlock(in, level, static_cast<std::uint32_t>(bits)) || in.position() != bits)
        return false;
    used_ = 0;
    crc_ = 0xFFFFFFFFu;
    last_ = 256;
    same_ = 0;
    repeat_ = 0;
    return true;
}

AR_WITH_SSE2 bool Bzip2BlockDecoder::readBlock(Bits& in, int level, std::uint32_t bits)
{
    if (in.get(24) != 0x314159 || in.get(24) != 0x265359)
        return false;
    storedCrc_ = in.get(16) << 16;
    storedCrc_ |= in.get(16);
    if (in.get(1) != 0)
        return false; // randomised: no bzip2 since 0.9.5 writes one
    const std::uint32_t limit = 100000u * static_cast<std::uint32_t>(level);
    const std::uint32_t origin = in.get(24);
    if (origin >= limit)
        return false;

    // The bytes that the block holds, in order.
    std::uint8_t used[256] = {};
    unsigned inUse = 0;
    const std::uint32_t ranges = in.get(16);
    for (unsigned range = 0; range < 16; ++range) {
        if (!(ranges & 0x8000u >> range))
            continue;
        const std::uint32_t present = in.get(16);
        for (unsigned i = 0; i < 16; ++i)
            if (present & 0x8000u >> i)
                used[inUse++] = static_cast<std::uint8_t>(range * 16 + i);
    }
    if (inUse == 0)
        return false;
    const unsigned alphabet = inUse + 2;
    const unsigned endOfBlock = inUse + 1;

    const unsigned groups = in.get(3);
    if (groups < 2 || groups > maxGroups)
        return false;
    // bzip2 writes one selector for every 50 symbols; libbz2 reads and drops those
    // beyond the most a block can use (some encoders round up), or refuses them.
    const unsigned selectors = in.get(15);
    if (selectors == 0 || selectors > maxSelectors)
        return false;
    std::uint8_t selector[maxSelectors];
    std::uint8_t order[maxGroups] = {0, 1, 2, 3, 4, 5};
    for (unsigned i = 0; i < selectors; ++i) {
        unsigned j = 0;
        while (in.get(1)) {
            if (++j >= groups)
                return false;
        }
        const std::uint8_t table = order[j];
        for (; j > 0; --j)
            order[j] = order[j - 1];
        order[0] = table;
        selector[i] = table;
    }

    CodingTable tables[maxGroups];
    for (unsigned t = 0; t < groups; ++t) {
        std::uint8_t lengths[maxAlphabet];
        unsigned length = in.get(5);
        for (unsigned i = 0; i < alphabet; ++i) {
            for (;;) {
                if (length < 1 || length > longestCode)
                    return false;
                if (!in.get(1))
                    break;
                length = in.get(1) ? length - 1 : length + 1;
            }
            lengths[i] = static_cast<std::uint8_t>(length);
        }
        if (!tables[t].build(lengths, alphabet))
            return false;
    }

    // The symbols: move-to-front positions, runs of the front byte, the end.
    if (tt_.size() < limit)
        tt_.resize(limit);
    std::uint32_t* const tt = tt_.data();
    std::uint32_t counts[256] = {};
    MoveToFront list(used);
    std::uint32_t count = 0;
    std::uint32_t run = 0, weight = 1;
    unsigned group = 0, left = 0;
    const CodingTable* table = nullptr;
    for (;;) {
        if (left == 0) {
            if (group >= selectors || in.position() > bits)
                return false;
            table = &tables[selector[group++]];
            left = groupSize;
        }
        --left;
        const std::uint32_t next = in.peek();
        unsigned symbol;
        if (const unsigned entry = table->fast[next >> (32 - fastBits)]) {
            symbol = entry >> 5;
            in.skip(entry & 31);
        } else {
            unsigned length = fastBits + 1;
            std::uint32_t code = next >> (32 - length);
            while (code - table->first[length] >= table->count[length]) {
                if (++length > longestCode)
                    return false;
                code = next >> (32 - length);
            }
            symbol = table->symbols[table->offset[length] + code - table->first[length]];
            in.skip(length);
        }
        if (symbol <= 1) { // RUNA, RUNB: a digit of a run's length
            run += weight << symbol;
            weight <<= 1;
            if (weight >= 2 * 1024 * 1024)
                return false;
            continue;
        }
        if (run != 0) {
            const unsigned byte = list.front();
            if (run > limit - count)
                return false;
            std::fill(tt + count, tt + count + run, byte);
            counts[byte] += run;
            count += run;
            run = 0;
            weight = 1;
        }
        if (symbol == endOfBlock)
            break;
        if (count >= limit)
            return false;
        const unsigned byte = list.take(symbol - 1);
        ++counts[byte];
        tt[count++] = byte;
    }
    if (origin >= count)
        return false;
    count_ = count;

    // Each entry learns where the byte after it is (the inverse transform).
    std::uint32_t start[256];
    std::uint32_t sum = 0;
    for (unsigned byte = 0; byte < 256; ++byte) {
        start[byte] = sum;
        sum += counts[byte];
    }
    for (std::uint32_t i = 0; i < count; ++i)
        tt[start[tt[i] & 0xFF]++] |= i << 8;
    position_ = tt[origin] >> 8;
    return true;
}

std::size_t Bzip2BlockDecoder::read(char* out, std::size_t room)
{
    // In locals: the output's stores may alias any member, for the compiler.
    const std::uint32_t* const tt = tt_.data();
    const std::uint32_t count = count_;
    std::uint32_t position = position_, used = used_;
    unsigned last = last_, same = same_, repeat = repeat_;
    std::size_t n = 0;
    while (n < room) {
        if (repeat != 0) {
            const std::size_t copies = std::min<std::size_t>(repeat, room - n);
            std::memset(out + n, static_cast<int>(last), copies);
            n += copies;
            repeat -= static_cast<unsigned>(copies);
            continue;
        }
        if (used == count) {
            done_ = true;
            whole_ = same != 4; // four bytes in a row and no count after them: libbz2 refuses that
            break;
        }
        const std::uint32_t entry = tt[position];
        position = entry >> 8;
        ++used;
        const unsigned byte = entry & 0xFF;
        if (same == 4) { // the count of a run
            repeat = byte;
            same = 0;
            continue;
        }
        same = byte == last ? same + 1 : 1;
        last = byte;
        out[n++] = static_cast<char>(byte);
    }
    position_ = position;
    used_ = used;
    last_ = last;
    same_ = same;
    repeat_ = repeat;
    crc_ = crcOf(crc_, out, n);
    return n;
}

} // namespace ar
