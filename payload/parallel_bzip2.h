// A bzip2 decoder that decodes the blocks of a stream on several threads and
// hands the output on in stream order.
//
// A bzip2 stream is a 4-byte header ("BZh" and the block size digit), blocks that
// each begin with the 48-bit magic 0x314159265359 at any bit offset and carry the
// CRC of their output, and an end mark (0x177245385090, at any bit offset) with
// the combined CRC of all blocks, padded to a byte; streams may follow one another.
// The reader scans the compressed bytes for both magics and hands the bits from
// each block magic to the next mark to a worker, which decodes them with the block
// decoder (bzip2_block.h) or, where that one leaves them, re-wraps them as a
// stream of one block for libbz2. The bits themselves confirm a candidate: a magic that
// turns up by chance inside a block's data makes that piece fail to decode, and
// the piece is decoded again together with the next one. The stream structure
// (headers, the position of every block and end mark, block and combined CRCs,
// what follows an end mark) is checked on the calling thread, in order, with the
// same verdict that one libbz2 decoder over the whole input gives: any damage is
// a bzip2_error of the "compress" category.
//
// Memory stays bounded whatever the payload size: a fixed number of blocks is in
// flight, a block's compressed bits are capped a little above what bzip2 can
// produce (maxBlockBits: the one kind of stream that libbz2 takes and this decoder
// refuses), and a block whose output exceeds the output cap is only verified on
// its worker and decoded again, streaming, by the calling thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <vector>

namespace ar {

// Where a cache keeps the blocks that no longer fit in its memory: bytes appended
// in order and read back by their offset, by one thread at a time.
class Bzip2Spill {
public:
    virtual ~Bzip2Spill() = default;
    // Drops everything written so far; false when it could not.
    virtual bool restart() = 0;
    // Appends `count` bytes; false when they could not all be written.
    virtual bool append(const char* bytes, std::size_t count) = 0;
    // Reads back `count` bytes that begin at `offset`; false when it could not.
    virtual bool read(std::uint64_t offset, char* bytes, std::size_t count) = 0;
};

// Output of blocks that one decoding pass (a verification) kept for the next pass
// over the same stream (the extraction), up to a fixed number of bytes in memory
// and, with a spill, up to its budget on disk. A block is found again by its place
// in the stream, its length and a hash of its bits, so a different stream never
// takes another one's output. Used by one thread at a time.
class Bzip2BlockCache {
public:
    struct Key {
        std::uint64_t begin = 0, end = 0; // bit positions of the block in its input
        std::uint64_t hash = 0;           // of the block's bits
        int level = 0;                    // block size digit
        bool operator==(const Key& other) const
        {
            return begin == other.begin && end == other.end && hash == other.hash && level == other.level;
        }
    };

    explicit Bzip2BlockCache(std::size_t capacity) : capacity_(capacity) {}

    // Blocks beyond the memory capacity go to `spill` (not owned; none: nowhere),
    // at most `budget` bytes of them, until a write there fails. Empties the cache.
    void spillTo(Bzip2Spill* spill, std::uint64_t budget);

    // False (and nothing kept) when the output does not fit any more.
    bool put(const Key& key, std::vector<char>& output);
    // Moves a block's output out of the cache; false when it is not there (or a
    // spilled one cannot be read back).
    bool take(const Key& key, std::vector<char>& output);
    void clear();
    bool empty() const { return kept_ == 0; }
    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }
    // Bytes written to the spill since the cache was last emptied.
    std::uint64_t spilled() const { return spilled_; }

private:
    struct Block {
        Key key;
        std::vector<char> output; // in memory
        std::uint64_t offset = 0; // on disk: where in the spill, and how many bytes
        std::size_t spilledBytes = 0;
        bool onDisk = false;
        bool taken = false;
    };
    bool spill(const Key& key, std::vector<char>& output);
    bool follows(const Key& key) const; // after every block held
    Block& add(const Key& key);

    // In stream order. One array, not a node per block: under Wine's heap, small
    // nodes kept between the blocks' large buffers split the holes those leave, and
    // a 1 GB stream then grew the heap by some 35 MB.
    std::vector<Block> blocks_;
    std::size_t kept_ = 0; // blocks not taken yet
    std::size_t size_ = 0;
    std::size_t capacity_;
    Bzip2Spill* spill_ = nullptr;
    std::uint64_t spillBudget_ = 0;
    std::uint64_t spilled_ = 0;
    bool spillFailed_ = false;
};

class ParallelBzip2 {
public:
    // Receives decoded bytes in order, at most `pieceSize` at a time.
    using Writer = std::function<void(const char*, std::size_t)>;

    static constexpr std::size_t pieceSize = 4096;
    // The most compressed bits a block may take, from its magic to the next mark
    // (3 MiB; bzip2's encoder writes less than 2.7 MB for a block of 900 000 bytes).
    // A longer block is refused as damaged, however the source hands out its bytes,
    // though libbz2 takes one (its coding tables padded by hand): the bits of the
    // blocks in flight stay bounded.
    static constexpr std::uint64_t maxBlockBits = std::uint64_t(3) * 1024 * 1024 * 8;

    // Starts `workers` (at least 1) decoding threads and a reading thread on
    // `source`; nothing is read before all threads run. Throws std::system_error
    // when a thread cannot start (nothing has been read then). Without
    // `keepOutput` the blocks are only decoded and checked, never handed on.
    // With a `cache` (not owned), a pass that does not keep its output fills it
    // with the first blocks until it is full, and a pass that does takes every
    // block it finds there instead of decoding it again.
    ParallelBzip2(std::istream& source, unsigned workers, bool keepOutput, Bzip2BlockCache* cache = nullptr);
    // Stops and joins every thread; what is still in flight is dropped.
    ~ParallelBzip2();
    ParallelBzip2(const ParallelBzip2&) = delete;
    ParallelBzip2& operator=(const ParallelBzip2&) = delete;

    // Decodes the whole source, calling `write` (unless null) with the output on
    // the calling thread. Returns the count of compressed bytes read. Throws the
    // bzip2_error of the "compress" category on damaged data, the source's own
    // failure if reading it throws, and whatever `write` throws.
    std::uint64_t run(const Writer& write);

    struct State;

private:
    std::unique_ptr<State> state_;
};

} // namespace ar
