// A decoder of one bzip2 block, for the blocks that bzip2 writes: its coding
// tables are read into lookup tables, so that most symbols cost one lookup, where
// libbz2 reads a code a bit at a time. Pure: bits in, bytes out.
//
// It only ever says "intact". Whatever it does not take for a block as bzip2
// writes one (a randomised block, more selectors than a block can use, a coding
// table that is not a complete prefix code, a block whose last symbol does not end
// exactly where its bits do, a run or an origin out of range, a CRC that differs)
// it leaves to libbz2, which gives the verdict; on what it does take, its output
// is libbz2's. On 32-bit x86 it needs SSE2, and leaves every block to libbz2 on a
// processor without it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ar {

class Bzip2BlockDecoder {
public:
    // Reads the block whose magic is the first bit of `bytes` and that takes
    // exactly `bits` of them (`size` bytes are readable), coded with block size
    // digit `level` (1 to 9). False when it leaves the block to libbz2; true when
    // read() may hand out its output.
    bool start(const std::uint8_t* bytes, std::size_t size, std::uint64_t bits, int level);
    // Writes up to `room` (at least 1) bytes of the output; 0 when it is complete.
    std::size_t read(char* out, std::size_t room);
    // Once read() gave 0: the output is whole and its CRC is the block's.
    bool intact() const { return done_ && whole_ && ~crc_ == storedCrc_; }

private:
    class Bits;
    bool readBlock(Bits& in, int level, std::uint32_t bits);

    // The block's bytes in BWT order (low 8 bits) and, once the block is read, the
    // index of the next one (above).
    std::vector<std::uint32_t> tt_;
    std::uint32_t count_ = 0; // bytes in the block (before the runs are expanded)
    std::uint32_t storedCrc_ = 0;
    // Output state.
    std::uint32_t position_ = 0; // the next entry of tt_
    std::uint32_t used_ = 0;     // of the block's bytes, handed on or taken as a count
    std::uint32_t crc_ = 0;
    unsigned last_ = 256; // the last byte handed on
    unsigned same_ = 0;   // how many times in a row it came
    unsigned repeat_ = 0; // copies of it still to hand on (a run's count)
    bool done_ = false;   // the block's bytes have all been taken
    bool whole_ = false;  // and none was left waiting for its run's count
};

} // namespace ar
