#include "payload/parallel_bzip2.h"

#include <bzlib.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "payload/archive.h"
#include "payload/bzip2_block.h"
#include "payload/bzip2_marks.h"

namespace ar {
namespace {

constexpr std::uint64_t endMagic = Bzip2MarkScanner::endMagic;
constexpr std::uint64_t magicBits = Bzip2MarkScanner::magicBits;
constexpr std::uint64_t crcBits = 32;
constexpr std::uint64_t headerBits = 32; // "BZh" and the block size digit

// No block bzip2 can write is longer: at most 900 100 symbols of at most 20 bits,
// 18 002 selectors and six coding tables come to less than 2.7 MB.
constexpr std::uint64_t maxBlockBits = ParallelBzip2::maxBlockBits;
// Bits kept beyond a region's end, so that an end mark's CRC, the padding and the
// next stream's header can be read from the end mark's own region.
constexpr std::uint64_t tailBits = 128;
// Of a region longer than any block only its start is kept.
constexpr std::uint64_t headOfOversized = 1024;
// Output kept per block for the calling thread; a block that decodes to more
// (long runs of one byte) is decoded again by the calling thread, streaming.
constexpr std::size_t maxKeptOutput = 2 * 1024 * 1024;
constexpr std::size_t readSize = 256 * 1024;
// A region's bits are held in at least this much, which the heap takes from the
// system directly (above 508 KB in 32-bit processes) and gives back whole. Smaller
// ones, of every size, came from the heap itself: under Wine the run's small
// records, made meanwhile, split the holes that they left, and a reinstallation of
// 1 GB grew the heap by some 35 MB. The pages that are not written are never used.
constexpr std::size_t minRegionCapacity = 600 * 1024;
constexpr std::size_t decodeChunk = 64 * 1024;

[[noreturn]] void damaged()
{
    throw_compress_error(compress_errc::bzip2_error);
}

// Bits of a byte string, most significant bit first, as bzip2 stores them.
std::uint64_t bitsAt(const std::vector<std::uint8_t>& bytes, std::uint64_t at, unsigned count)
{
    std::uint64_t value = 0;
    for (unsigned i = 0; i < count; ++i, ++at)
        value = value << 1 | ((bytes[at / 8] >> (7 - at % 8)) & 1);
    return value;
}

class BitWriter {
public:
    void put(std::uint64_t value, unsigned count)
    {
        while (count-- > 0)
            putBit((value >> count) & 1);
    }

    // Appends the first `count` bits of `bytes`.
    void append(const std::uint8_t* bytes, std::uint64_t count)
    {
        std::size_t whole = static_cast<std::size_t>(count / 8);
        if (bits_ % 8 == 0) {
            out_.insert(out_.end(), bytes, bytes + whole);
            bits_ += 8 * whole;
        } else {
            for (std::size_t i = 0; i < whole; ++i)
                put(bytes[i], 8);
        }
        if (unsigned rest = count % 8)
            put(bytes[whole] >> (8 - rest), rest);
    }

    std::uint64_t size() const { return bits_; }
    std::vector<std::uint8_t>& bytes() { return out_; }

private:
    void putBit(unsigned bit)
    {
        if (bits_ % 8 == 0)
            out_.push_back(0);
        if (bit)
            out_.back() |= static_cast<std::uint8_t>(0x80 >> bits_ % 8);
        ++bits_;
    }

    std::vector<std::uint8_t> out_;
    std::uint64_t bits_ = 0;
};

// What one libbz2 decoder made of a block's bits. `damaged` when it refused them
// before reading past them: whatever follows, one decoder over the whole input
// refuses the block there too. `undecided` when it needed more bits than the block
// has (a magic inside the block's data cut it short), or refused only once it read
// beyond them.
enum class Verdict { undecided, intact, damaged };

// The stretch of input from one mark (a candidate block magic or end mark, or the
// start of the input) to the next one, or to the end of the input.
struct Region {
    enum class Kind { start, block, end } kind = Kind::start;
    std::uint64_t begin = 0, end = 0; // bit positions in the input
    std::vector<std::uint8_t> bits;   // from `begin`, up to end + tailBits or the input's end
    std::uint64_t storedBits = 0;
    bool oversized = false;  // longer than any block; `bits` holds only its start
    bool reachesEnd = false; // `bits` run to the end of the input
    int level = 9;           // the block size digit that the reader expects to apply

    // Set by the worker that decoded a block region.
    bool decoded = false;
    Verdict verdict = Verdict::undecided;
    bool large = false; // verified, but its output was too large to keep
    std::uint32_t crc = 0;
    std::vector<char> output;
    std::exception_ptr failure; // not damage: memory, typically
};

using RegionPtr = std::shared_ptr<Region>;

// A hash of the region's own bits, eight bytes at a time.
Bzip2BlockCache::Key keyOf(const Region& region)
{
    const std::uint64_t count = region.end - region.begin;
    const std::size_t whole = static_cast<std::size_t>(count / 8);
    std::uint64_t hash = 14695981039346656037ull ^ count;
    auto mix = [&](std::uint64_t word) {
        hash = (hash ^ word) * 0x9E3779B97F4A7C15ull;
        hash ^= hash >> 29;
    };
    std::size_t at = 0;
    for (; at + 8 <= whole; at += 8) {
        std::uint64_t word;
        std::memcpy(&word, region.bits.data() + at, sizeof(word));
        mix(word);
    }
    std::uint64_t last = 0;
    for (; at < whole; ++at)
        last = last << 8 | region.bits[at];
    if (unsigned rest = count % 8)
        last = last << 8 | static_cast<std::uint8_t>(region.bits[whole] & (0xFF00 >> rest));
    mix(last);
    return {region.begin, region.end, hash, region.level};
}

// A block's bits wrapped as a stream of its own.
struct Wrapped {
    std::vector<std::uint8_t> bytes;
    std::uint64_t ownBits = 0; // the header's and the block's, before the end mark added
    bool empty() const { return bytes.empty(); }
};

// Wraps the bits of `parts` (consecutive regions, together one block from its
// magic on) as a single-block stream: header, the block, an end mark carrying the
// block's own CRC as the combined CRC. Empty when the bits cannot hold a block.
Wrapped wrapBlock(const std::vector<const Region*>& parts, int level, std::uint32_t& crc)
{
    BitWriter out;
    out.put('B', 8);
    out.put('Z', 8);
    out.put('h', 8);
    out.put(static_cast<std::uint64_t>('0' + level), 8);
    for (const auto& part : parts)
        out.append(part->bits.data(), part->end - part->begin);
    if (out.size() < headerBits + magicBits + crcBits)
        return {};
    const std::uint64_t ownBits = out.size();
    crc = static_cast<std::uint32_t>(bitsAt(out.bytes(), headerBits + magicBits, crcBits));
    out.put(endMagic, magicBits);
    out.put(crc, crcBits);
    return {std::move(out.bytes()), ownBits};
}

// Where a decoder's output goes: `room` gives the buffer to fill next (at least a
// byte), `took` is told what was filled of it.
class DiscardOutput {
public:
    explicit DiscardOutput(std::size_t chunk = decodeChunk) : chunk_(chunk) {}
    char* room(std::size_t& size)
    {
        buffer_.resize(chunk_);
        size = chunk_;
        return buffer_.data();
    }
    void took(const char*, std::size_t) {}

private:
    std::size_t chunk_;
    std::vector<char> buffer_;
};

// Hands the output on in pieces of `pieceSize`.
class WriteOutput : public DiscardOutput {
public:
    explicit WriteOutput(const ParallelBzip2::Writer& write) : DiscardOutput(ParallelBzip2::pieceSize), write_(write) {}
    void took(const char* bytes, std::size_t count) { write_(bytes, count); }

private:
    const ParallelBzip2::Writer& write_;
};

// What one libbz2 decoder allocated, kept for the next decoder on the same thread:
// a block's work space (3.6 MB at level 9) is then not mapped, faulted in, zeroed
// and unmapped again for every block.
class DecoderMemory {
public:
    static void* allocate(void* self, int items, int size)
    {
        auto& pieces = static_cast<DecoderMemory*>(self)->pieces_;
        const std::size_t bytes = std::size_t(items) * std::size_t(size);
        for (Piece& piece : pieces) {
            if (!piece.used && piece.size == bytes) {
                piece.used = true;
                return piece.bytes.get();
            }
        }
        // What is not used now is of another size (another block size digit).
        pieces.erase(std::remove_if(pieces.begin(), pieces.end(), [](const Piece& p) { return !p.used; }),
                     pieces.end());
        try {
            pieces.push_back({std::unique_ptr<char[]>(new char[bytes]), bytes, true});
        } catch (const std::bad_alloc&) {
            return nullptr; // libbz2 reports BZ_MEM_ERROR
        }
        return pieces.back().bytes.get();
    }
    static void release(void* self, void* address)
    {
        for (Piece& piece : static_cast<DecoderMemory*>(self)->pieces_)
            if (piece.bytes.get() == address)
                piece.used = false;
    }

private:
    struct Piece {
        std::unique_ptr<char[]> bytes;
        std::size_t size = 0;
        bool used = false;
    };
    std::vector<Piece> pieces_;
};

// Decodes a wrapped block with libbz2 into `out`. Intact when the block is and its
// stream ends exactly with the input.
template <typename Output>
Verdict decodeWrapped(Wrapped& wrapped, Output& out, DecoderMemory& memory)
{
    bz_stream stream{};
    stream.bzalloc = &DecoderMemory::allocate;
    stream.bzfree = &DecoderMemory::release;
    stream.opaque = &memory;
    if (BZ2_bzDecompressInit(&stream, 0, 0) != BZ_OK)
        throw std::bad_alloc();
    struct End {
        bz_stream* s;
        ~End() { BZ2_bzDecompressEnd(s); }
    } end{&stream};
    stream.next_in = reinterpret_cast<char*>(wrapped.bytes.data());
    stream.avail_in = static_cast<unsigned>(wrapped.bytes.size());
    for (;;) {
        std::size_t room = 0;
        char* at = out.room(room);
        stream.next_out = at;
        stream.avail_out = static_cast<unsigned>(room);
        int result = BZ2_bzDecompress(&stream);
        std::size_t produced = room - stream.avail_out;
        if (result == BZ_MEM_ERROR)
            throw std::bad_alloc(); // not damage
        if (result != BZ_OK && result != BZ_STREAM_END) {
            // libbz2 takes a byte only when it needs its bits.
            const std::uint64_t read = wrapped.bytes.size() - stream.avail_in;
            return read * 8 <= wrapped.ownBits ? Verdict::damaged : Verdict::undecided;
        }
        if (produced > 0)
            out.took(at, produced);
        if (result == BZ_STREAM_END)
            return stream.avail_in == 0 ? Verdict::intact : Verdict::undecided;
        if (produced == 0 && stream.avail_in == 0)
            return Verdict::undecided; // the block needs more bits than it has
    }
}

// Decodes a block region with the block decoder into `out`; false (with some
// output, perhaps, already given) when it leaves the block to libbz2.
template <typename Output>
bool decodeFast(const Region& region, Output& out, Bzip2BlockDecoder& decoder)
{
    if (!decoder.start(region.bits.data(), region.bits.size(), region.end - region.begin, region.level))
        return false;
    for (;;) {
        std::size_t room = 0;
        char* at = out.room(room);
        const std::size_t produced = decoder.read(at, room);
        if (produced == 0)
            return decoder.intact();
        out.took(at, produced);
    }
}

} // namespace

void Bzip2BlockCache::spillTo(Bzip2Spill* spill, std::uint64_t budget)
{
    spill_ = spill;
    spillBudget_ = spill ? budget : 0;
    clear();
}

bool Bzip2BlockCache::follows(const Key& key) const
{
    return blocks_.empty() || blocks_.back().key.begin < key.begin;
}

Bzip2BlockCache::Block& Bzip2BlockCache::add(const Key& key)
{
    blocks_.emplace_back();
    blocks_.back().key = key;
    ++kept_;
    return blocks_.back();
}

bool Bzip2BlockCache::put(const Key& key, std::vector<char>& output)
{
    if (output.capacity() - output.size() > output.size() / 16)
        output.shrink_to_fit(); // what is held counts, not what is used
    if (!follows(key))
        return false; // blocks come in stream order
    if (size_ + output.capacity() > capacity_)
        return spill(key, output);
    size_ += output.capacity();
    add(key).output = std::move(output);
    return true;
}

bool Bzip2BlockCache::spill(const Key& key, std::vector<char>& output)
{
    if (!spill_ || spillFailed_ || spilled_ + output.size() > spillBudget_)
        return false;
    if (!spill_->append(output.data(), output.size())) {
        spillFailed_ = true; // written in order: nothing more goes after a gap
        return false;
    }
    Block& block = add(key);
    block.offset = spilled_;
    block.spilledBytes = output.size();
    block.onDisk = true;
    spilled_ += output.size();
    output = std::vector<char>();
    return true;
}

bool Bzip2BlockCache::take(const Key& key, std::vector<char>& output)
{
    auto found = std::lower_bound(blocks_.begin(), blocks_.end(), key.begin,
                                  [](const Block& block, std::uint64_t begin) { return block.key.begin < begin; });
    if (found == blocks_.end() || found->taken || !(found->key == key))
        return false;
    Block& block = *found;
    block.taken = true;
    --kept_;
    bool taken = true;
    if (block.onDisk) {
        output.resize(block.spilledBytes);
        taken = spill_ && spill_->read(block.offset, output.data(), output.size());
        if (!taken)
            output = std::vector<char>(); // decoded again instead
    } else {
        output = std::move(block.output);
        size_ -= output.capacity();
    }
    return taken;
}

void Bzip2BlockCache::clear()
{
    blocks_ = std::vector<Block>();
    kept_ = 0;
    size_ = 0;
    spilled_ = 0;
    spillFailed_ = spill_ && !spill_->restart();
}

struct ParallelBzip2::State {
    std::istream& source;
    const bool keepOutput;
    const std::size_t maxInFlight;
    Bzip2BlockCache* const cache;
    // Workers keep a verification's output while the cache still takes it.
    std::atomic<bool> keepForCache{false};

    std::mutex lock;
    std::condition_variable changed;
    bool stop = false;
    std::deque<RegionPtr> regions; // for the calling thread, in input order
    std::deque<RegionPtr> pending; // block regions no worker has taken yet
    bool readAll = false;          // the last region has been queued
    std::exception_ptr readFailure;
    std::uint64_t bytesRead = 0;

    std::vector<std::thread> threads;

    State(std::istream& s, unsigned workers, bool keep, Bzip2BlockCache* blocks)
        : source(s), keepOutput(keep), maxInFlight(2 * std::size_t(workers) + 2), cache(blocks)
    {
        keepForCache = cache && !keepOutput;
    }

    void scan();
    void work();
    void decodeRegion(Region& region, Bzip2BlockDecoder& decoder, DecoderMemory& memory);
    RegionPtr take();
    void awaitDecoded(const Region& region);
    void queue(RegionPtr region);
    // Hands on (with a `write`, when the output is kept) the block that begins with
    // `current`, decoded again where its region alone was not the block; returns its
    // CRC. `current` is then the last region the block took.
    std::uint32_t passBlock(RegionPtr& current, int level, const Writer& write);
};

void ParallelBzip2::State::queue(RegionPtr region)
{
    std::unique_lock<std::mutex> hold(lock);
    changed.wait(hold, [&] { return stop || regions.size() < maxInFlight; });
    if (stop)
        return;
    regions.push_back(region);
    if (region->kind == Region::Kind::block && !region->decoded)
        pending.push_back(region);
    else
        region->decoded = true;
    changed.notify_all();
}

namespace {

// Cuts the input into regions at the marks found in it: holds the bytes that
// regions still have to take (the window), follows the block size digit that
// applies, and hands a region out once its tail bits have been read.
class RegionCutter {
public:
    // Appends up to readSize bytes of `source` to the window; false at its end.
    // A source that hands out a few bytes at a time costs only what it hands out.
    bool read(std::istream& source)
    {
        const std::streamsize got = source.rdbuf()->sgetn(reinterpret_cast<char*>(piece_.data()),
                                                          static_cast<std::streamsize>(piece_.size()));
        window_.insert(window_.end(), piece_.begin(), piece_.begin() + std::max<std::streamsize>(got, 0));
        return got > 0;
    }
    // Bytes of the input read so far.
    std::uint64_t inputBytes() const { return windowStart_ + window_.size(); }
    // The window's bytes from byte `from` of the input on.
    const std::uint8_t* bytesFrom(std::uint64_t from) const { return window_.data() + (from - windowStart_); }

    // A mark at bit `at` ends the open region and opens one of `kind`.
    void markAt(std::uint64_t at, Region::Kind kind)
    {
        open_->end = at;
        closing_.push_back(open_);
        open_ = std::make_shared<Region>();
        open_->kind = kind;
        open_->begin = at;
        if (kind == Region::Kind::block) {
            followHeader(at);
            open_->level = level_;
        } else {
            nextHeader_ = (at + magicBits + crcBits + 7) / 8;
        }
    }

    // The closed regions whose tail has been read, their bits cut; at the end of the
    // input every closed one.
    std::vector<RegionPtr> takeClosed(bool atEnd)
    {
        const std::uint64_t inputBits = inputBytes() * 8;
        std::vector<RegionPtr> ready;
        while (!closing_.empty() && (atEnd || closing_.front()->end + tailBits <= inputBits)) {
            RegionPtr r = closing_.front();
            closing_.pop_front();
            capOversized(*r);
            if (!r->oversized) {
                const std::uint64_t upTo = std::min(r->end + tailBits, inputBits);
                cut(*r, upTo);
                r->reachesEnd = upTo == inputBits && atEnd;
            }
            ready.push_back(std::move(r));
        }
        // Of an open region longer than any block only the start is kept, once every
        // mark that could still end it lies so far on that it is oversized anyway.
        if (!open_->oversized && inputBits - open_->begin > maxBlockBits + magicBits) {
            cut(*open_, open_->begin + headOfOversized);
            open_->oversized = true;
        }
        return ready;
    }

    // At the end of the input: the open region, up to the end.
    RegionPtr takeLast()
    {
        const std::uint64_t inputBits = inputBytes() * 8;
        open_->end = inputBits;
        capOversized(*open_);
        if (!open_->oversized)
            cut(*open_, inputBits);
        open_->reachesEnd = !open_->oversized;
        return open_;
    }

    // Drops the bytes that no region has to take any more.
    void trim()
    {
        std::uint64_t keep = inputBytes();
        if (!closing_.empty())
            keep = closing_.front()->begin / 8;
        else if (!open_->oversized)
            keep = open_->begin / 8;
        // Moving the bytes that stay costs; it is done once the dropped ones are
        // at least as many, so the window stays below twice what regions need.
        if (keep > windowStart_ && keep - windowStart_ >= window_.size() / 2) {
            window_.erase(window_.begin(), window_.begin() + static_cast<std::ptrdiff_t>(keep - windowStart_));
            windowStart_ = keep;
        }
    }

private:
    int byteAt(std::uint64_t at) const
    {
        return at >= windowStart_ && at < inputBytes() ? window_[at - windowStart_] : -1;
    }

    // A region longer than any block is oversized whatever the pieces in which its
    // bytes arrived; only its start is kept.
    void capOversized(Region& r) const
    {
        if (!r.oversized && r.end - r.begin > maxBlockBits) {
            cut(r, r.begin + headOfOversized);
            r.oversized = true;
        }
    }

    // The region's bits from its begin up to bit `upTo`, realigned to a byte.
    void cut(Region& r, std::uint64_t upTo) const
    {
        const std::uint64_t count = upTo - r.begin;
        const std::size_t size = static_cast<std::size_t>((count + 7) / 8);
        const std::uint8_t* from = window_.data() + (r.begin / 8 - windowStart_);
        const unsigned shift = r.begin % 8;
        r.bits.reserve(std::max(size, minRegionCapacity));
        if (shift == 0 || size == 0) {
            r.bits.assign(from, from + size);
        } else {
            r.bits.resize(size);
            // The byte after the last one may not have arrived yet.
            const bool lastHasNext = from + size < window_.data() + window_.size();
            const std::size_t pairs = lastHasNext ? size : size - 1;
            for (std::size_t i = 0; i < pairs; ++i)
                r.bits[i] = static_cast<std::uint8_t>(from[i] << shift | from[i + 1] >> (8 - shift));
            if (!lastHasNext)
                r.bits[size - 1] = static_cast<std::uint8_t>(from[size - 1] << shift);
        }
        r.storedBits = count;
    }

    // A block that directly follows a stream header is coded with its digit.
    void followHeader(std::uint64_t mark)
    {
        if (mark != (nextHeader_ + 4) * 8)
            return;
        if (byteAt(nextHeader_) == 'B' && byteAt(nextHeader_ + 1) == 'Z' && byteAt(nextHeader_ + 2) == 'h') {
            const int digit = byteAt(nextHeader_ + 3);
            if (digit >= '1' && digit <= '9')
                level_ = digit - '0';
        }
    }

    std::vector<std::uint8_t> piece_ = std::vector<std::uint8_t>(readSize);
    std::vector<std::uint8_t> window_; // input bytes from byte `windowStart_` on
    std::uint64_t windowStart_ = 0;
    int level_ = 9;
    std::uint64_t nextHeader_ = 0; // byte where a stream header would follow the last end mark
    RegionPtr open_ = std::make_shared<Region>();
    std::deque<RegionPtr> closing_; // regions waiting for their tail bits
};

} // namespace

// The reading thread: reads the source in large pieces, finds every candidate
// mark at any bit offset and queues the regions between them.
void ParallelBzip2::State::scan()
{
    try {
        Bzip2MarkScanner scanner;
        RegionCutter cutter;
        std::vector<Bzip2Mark> marks;
        for (bool atEnd = false; !atEnd;) {
            {
                std::lock_guard<std::mutex> hold(lock);
                if (stop)
                    return;
            }
            atEnd = !cutter.read(source);
            {
                std::lock_guard<std::mutex> hold(lock);
                bytesRead = cutter.inputBytes();
            }
            marks.clear();
            const std::uint64_t from = scanner.scanned();
            scanner.scan(cutter.bytesFrom(from), static_cast<std::size_t>(cutter.inputBytes() - from), marks);
            for (const Bzip2Mark& mark : marks)
                cutter.markAt(mark.at, mark.kind == Bzip2Mark::Kind::block ? Region::Kind::block : Region::Kind::end);

            // Regions whose tail has been read go to the calling thread and the workers.
            for (RegionPtr& r : cutter.takeClosed(atEnd)) {
                if (!r->oversized && keepOutput && cache && r->kind == Region::Kind::block && !cache->empty() &&
                    cache->take(keyOf(*r), r->output)) {
                    // Decoded and checked by the verification of these very bits.
                    r->verdict = Verdict::intact;
                    r->crc = static_cast<std::uint32_t>(bitsAt(r->bits, magicBits, crcBits));
                    r->decoded = true;
                }
                queue(r);
            }
            if (atEnd)
                queue(cutter.takeLast());
            else
                cutter.trim();
        }
    } catch (...) {
        std::lock_guard<std::mutex> hold(lock);
        readFailure = std::current_exception();
    }
    std::lock_guard<std::mutex> hold(lock);
    readAll = true;
    changed.notify_all();
}

namespace {

// Decodes straight into the region's output while it stays within maxKeptOutput;
// beyond it the block is only verified (`large`) and its output dropped.
class KeepOutput {
public:
    explicit KeepOutput(Region& region) : region_(region) {}
    ~KeepOutput() { region_.output.resize(kept_); }
    char* room(std::size_t& size)
    {
        std::vector<char>& output = region_.output;
        if (!region_.large && kept_ == output.size()) {
            if (kept_ < maxKeptOutput) {
                // A block holds at most level x 100 000 bytes before its runs are
                // expanded: most blocks fit that exactly, and the cache counts what
                // is held.
                const std::size_t first = static_cast<std::size_t>(region_.level) * 100000;
                output.resize(std::min(kept_ == 0 ? first : 2 * kept_, maxKeptOutput));
            } else {
                region_.large = true;
                output = std::vector<char>();
                kept_ = 0;
            }
        }
        if (region_.large)
            return discard_.room(size);
        size = output.size() - kept_;
        return output.data() + kept_;
    }
    void took(const char*, std::size_t count)
    {
        if (!region_.large)
            kept_ += count;
    }

private:
    Region& region_;
    std::size_t kept_ = 0;
    DiscardOutput discard_;
};

} // namespace

void ParallelBzip2::State::decodeRegion(Region& region, Bzip2BlockDecoder& decoder, DecoderMemory& memory)
{
    if (region.oversized)
        return;
    // Into the region's output while a pass keeps it, else nowhere.
    const auto decodeInto = [&, keep = keepOutput || keepForCache](auto decode) {
        if (keep) {
            KeepOutput out(region);
            return decode(out);
        }
        DiscardOutput out;
        return decode(out);
    };
    // Blocks as bzip2 writes them take the block decoder; libbz2 judges the rest.
    if (decodeInto([&](auto& out) { return decodeFast(region, out, decoder); })) {
        region.verdict = Verdict::intact;
        region.crc = static_cast<std::uint32_t>(bitsAt(region.bits, magicBits, crcBits));
        return;
    }
    region.output = std::vector<char>();
    region.large = false;
    Wrapped wrapped = wrapBlock({&region}, region.level, region.crc);
    if (wrapped.empty())
        return;
    region.verdict = decodeInto([&](auto& out) { return decodeWrapped(wrapped, out, memory); });
    if (region.verdict != Verdict::intact)
        region.output = std::vector<char>();
}

void ParallelBzip2::State::work()
{
    Bzip2BlockDecoder decoder;
    DecoderMemory memory;
    for (;;) {
        RegionPtr region;
        {
            std::unique_lock<std::mutex> hold(lock);
            changed.wait(hold, [&] { return stop || !pending.empty(); });
            if (stop)
                return;
            region = pending.front();
            pending.pop_front();
        }
        try {
            decodeRegion(*region, decoder, memory);
        } catch (...) {
            region->failure = std::current_exception();
        }
        std::lock_guard<std::mutex> hold(lock);
        region->decoded = true;
        changed.notify_all();
    }
}

RegionPtr ParallelBzip2::State::take()
{
    std::unique_lock<std::mutex> hold(lock);
    changed.wait(hold, [&] { return !regions.empty() || readAll; });
    if (regions.empty()) {
        if (readFailure)
            std::rethrow_exception(readFailure);
        damaged();
    }
    RegionPtr region = regions.front();
    regions.pop_front();
    changed.notify_all();
    return region;
}

void ParallelBzip2::State::awaitDecoded(const Region& region)
{
    std::unique_lock<std::mutex> hold(lock);
    changed.wait(hold, [&] { return region.decoded; });
    if (region.failure)
        std::rethrow_exception(region.failure);
}

ParallelBzip2::ParallelBzip2(std::istream& source, unsigned workers, bool keepOutput, Bzip2BlockCache* cache)
    : state_(std::make_unique<State>(source, std::max(workers, 1u), keepOutput, cache))
{
    State& s = *state_;
    try {
        for (unsigned i = 0; i < std::max(workers, 1u); ++i)
            s.threads.emplace_back([&s] { s.work(); });
        // The reader starts last: nothing is read unless every thread runs.
        s.threads.emplace_back([&s] { s.scan(); });
    } catch (...) {
        {
            std::lock_guard<std::mutex> hold(s.lock);
            s.stop = true;
            s.changed.notify_all();
        }
        for (auto& thread : s.threads)
            thread.join();
        throw;
    }
}

ParallelBzip2::~ParallelBzip2()
{
    State& s = *state_;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        s.stop = true;
        s.changed.notify_all();
    }
    for (auto& thread : s.threads)
        thread.join();
}

namespace {

// The block size digit of a stream header at bit `at`, inside `region`; 0 when
// there is none.
int headerLevel(const Region& region, std::uint64_t at)
{
    std::uint64_t offset = at - region.begin;
    if (offset + headerBits > region.storedBits || bitsAt(region.bits, offset, 24) != 0x425A68)
        return 0;
    int digit = static_cast<int>(bitsAt(region.bits, offset + 24, 8));
    return digit >= '1' && digit <= '9' ? digit - '0' : 0;
}

} // namespace

std::uint32_t ParallelBzip2::State::passBlock(RegionPtr& current, int level, const Writer& write)
{
    DecoderMemory memory;
    awaitDecoded(*current);
    std::vector<const Region*> parts{current.get()};
    std::vector<RegionPtr> joined;
    std::uint32_t crc = current->crc;
    bool again = current->large;
    const bool ownLevel = current->level == level;
    if (ownLevel && current->verdict == Verdict::damaged)
        damaged(); // no bits after it can mend it: refused at once, as libbz2 does
    if (current->verdict != Verdict::intact || !ownLevel) {
        // A magic inside the block's data cut it short (or it was decoded
        // with another stream's block size): decode it again, joined with
        // the regions that follow while together they can still be a block.
        again = true;
        for (bool alone = !ownLevel;; alone = false) {
            if (!alone) {
                RegionPtr next = take();
                if (next->oversized || next->end - current->begin > maxBlockBits)
                    damaged();
                // Its bits are decoded again as part of this block: what a worker made
                // of them alone is not kept (hundreds of pieces could hold gigabytes).
                awaitDecoded(*next);
                next->output = std::vector<char>();
                joined.push_back(next);
                parts.push_back(next.get());
            }
            Wrapped wrapped = wrapBlock(parts, level, crc);
            DiscardOutput out;
            const Verdict verdict = wrapped.empty() ? Verdict::undecided : decodeWrapped(wrapped, out, memory);
            if (verdict == Verdict::intact)
                break;
            if (verdict == Verdict::damaged)
                damaged();
        }
    }
    if (keepOutput && write) {
        if (again) {
            Wrapped wrapped = wrapBlock(parts, level, crc);
            WriteOutput out(write);
            if (decodeWrapped(wrapped, out, memory) != Verdict::intact)
                damaged();
        } else {
            const std::vector<char>& output = current->output;
            for (std::size_t at = 0; at < output.size(); at += pieceSize)
                write(output.data() + at, std::min(pieceSize, output.size() - at));
        }
    }
    if (keepForCache && !again && !current->output.empty() && !cache->put(keyOf(*current), current->output))
        keepForCache = false;
    current->output = std::vector<char>();
    if (!joined.empty())
        current = joined.back();
    return crc;
}

std::uint64_t ParallelBzip2::run(const Writer& write)
{
    State& s = *state_;
    RegionPtr current = s.take(); // from the start of the input to the first mark
    int level = headerLevel(*current, 0);
    if (!level)
        damaged();
    std::uint64_t expect = headerBits; // where the next block or end mark must begin
    std::uint32_t combined = 0;
    for (;;) {
        while (current->end <= expect)
            current = s.take();
        if (current->begin != expect || current->kind == Region::Kind::start)
            damaged(); // no mark where the stream needs one

        if (current->kind == Region::Kind::block) {
            const std::uint32_t crc = s.passBlock(current, level, write);
            combined = (combined << 1 | combined >> 31) ^ crc;
            expect = current->end;
            continue;
        }

        // An end mark: the combined CRC, then the end of the input or another stream.
        if (current->storedBits < magicBits + crcBits ||
            bitsAt(current->bits, magicBits, crcBits) != combined)
            damaged();
        std::uint64_t next = (current->begin + magicBits + crcBits + 7) / 8 * 8;
        if (current->reachesEnd && current->begin + current->storedBits == next) {
            std::lock_guard<std::mutex> hold(s.lock);
            return s.bytesRead;
        }
        level = headerLevel(*current, next);
        if (!level)
            damaged();
        combined = 0;
        expect = next + headerBits;
    }
}

} // namespace ar
