// The parallel bzip2 decoder against the reference decoder: the same verdict for
// intact streams, several streams in a row, block size digits and every kind of
// damage, on streams of many blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <istream>
#include <random>
#include <streambuf>
#include <system_error>
#include <tuple>

#include "payload/bzip2_block.h"
#include "payload/bzip2_marks.h"
#include "payload/parallel_bzip2.h"
#include "payload/spill_file.h"
#include "tests/support/test_support.h"
#include "tests/payload/payload_test_util.h"
#include "tests/payload/piece_buffer.h"

namespace ar::test {
namespace {

// The verdict on `bytes` read as the installer reads its payload, or `piece` bytes at a time.
bool verifyWith(bzip2_decoder decoder, const std::string& bytes, std::size_t piece = 0)
{
    PayloadDecoding decoding(decoder);
    if (piece == 0) {
        imemstream source(bytes.data(), bytes.size());
        return verify_payload(source, decoding);
    }
    PieceBuf buffer(bytes.data(), bytes.size(), piece);
    std::istream source(&buffer);
    return verify_payload(source, decoding);
}

// Both decoders' verdict on `bytes`, which must be the same.
bool verdict(const std::string& bytes, const std::string& what)
{
    bool reference = verifyWith(bzip2_decoder::reference, bytes);
    EXPECT_EQ(verifyWith(bzip2_decoder::parallel, bytes), reference) << what;
    return reference;
}

// `bytes` moved `shift` bits (0-7) further into the stream, zeros in front.
std::string shifted(const std::string& bytes, unsigned shift)
{
    std::string out(bytes.size() + 1, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const unsigned byte = static_cast<std::uint8_t>(bytes[i]);
        out[i] = static_cast<char>(out[i] | (byte >> shift));
        out[i + 1] = static_cast<char>((byte << (8 - shift)) & 0xFF);
    }
    return out;
}

std::vector<Bzip2Mark> marksOf(const std::string& bytes, std::size_t piece)
{
    Bzip2MarkScanner scanner;
    std::vector<Bzip2Mark> marks;
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        const std::size_t count = std::min(piece, bytes.size() - at);
        scanner.scan(reinterpret_cast<const std::uint8_t*>(bytes.data()) + at, count, marks);
    }
    EXPECT_EQ(scanner.scanned(), bytes.size());
    return marks;
}

TEST(Bzip2Marks, EveryBlockAndTheEndAtAnyBitOffsetInPiecesOfAnySize)
{
    // Four blocks: one of block size 1 holds at most 99 981 bytes.
    const std::string stream = bzip2Streams(sampleText(300000, 1), 1);
    const std::vector<Bzip2Mark> marks = marksOf(stream, stream.size());
    ASSERT_EQ(marks.size(), 5u);
    EXPECT_EQ(marks[0], (Bzip2Mark{Bzip2Mark::Kind::block, 32})); // after "BZh1"
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(marks[i].kind, Bzip2Mark::Kind::block);
        EXPECT_GT(marks[i].at, marks[i - 1].at);
    }
    // The end mark and the combined CRC, padded to a whole byte, end the stream.
    EXPECT_EQ(marks[4].kind, Bzip2Mark::Kind::end);
    EXPECT_EQ((marks[4].at + 48 + 32 + 7) / 8, stream.size());

    for (unsigned shift = 0; shift < 8; ++shift) {
        for (std::size_t piece : {std::size_t(1), std::size_t(5), std::size_t(4096)}) {
            SCOPED_TRACE(testing::Message() << "shift " << shift << ", pieces of " << piece);
            std::vector<Bzip2Mark> moved = marksOf(shifted(stream, shift), piece);
            ASSERT_EQ(moved.size(), marks.size());
            for (std::size_t i = 0; i < marks.size(); ++i)
                EXPECT_EQ(moved[i], (Bzip2Mark{marks[i].kind, marks[i].at + shift}));
        }
    }
    // A mark cut off by the end of the input is none.
    EXPECT_EQ(marksOf(stream.substr(0, 9), 1).size(), 0u);
    EXPECT_EQ(marksOf(stream.substr(0, 10), 3).size(), 1u);
}

// The block decoder takes every block that bzip2 writes and gives its output: runs
// of every length (counted runs, and runs of one byte long enough to take many
// RUNA/RUNB digits), all 256 byte values deep in the move-to-front list, codes
// longer than its lookup, every block size digit. Blocks are cut out of the
// stream at their marks, as the parallel decoder cuts them.
TEST(Bzip2Decoders, TheBlockDecoderTakesWhatBzip2WritesAndGivesItsOutput)
{
    std::string runs, skewed, text = sampleText(300000, 7);
    for (unsigned length = 1; length < 700; ++length)
        runs.append(length, static_cast<char>(length * 7));
    runs.append(3000000, 'z');
    std::mt19937 random(2606);
    std::geometric_distribution<int> rank(0.02);
    while (skewed.size() < 400000)
        skewed.push_back(static_cast<char>(rank(random) * 37));

    Bzip2BlockDecoder decoder;
    std::vector<char> piece(4096);
    for (const auto& [what, input, levels] : {std::tuple{"runs", &runs, std::vector<int>{1, 9}},
                                             std::tuple{"skewed bytes", &skewed, std::vector<int>{2, 5}},
                                             std::tuple{"text", &text, std::vector<int>{1, 3, 4, 6, 7, 8}}}) {
        for (int level : levels) {
            SCOPED_TRACE(std::string(what) + " at level " + std::to_string(level));
            const std::string stream = bzip2Streams(*input, level);
            const std::vector<Bzip2Mark> marks = marksOf(stream, stream.size());
            ASSERT_GE(marks.size(), 2u);
            std::string out;
            for (std::size_t i = 0; i + 1 < marks.size(); ++i) {
                const std::uint64_t begin = marks[i].at, end = marks[i + 1].at;
                const std::string bits = shifted(stream.substr(begin / 8), (8 - begin % 8) % 8).substr(begin % 8 ? 1 : 0);
                ASSERT_TRUE(decoder.start(reinterpret_cast<const std::uint8_t*>(bits.data()), bits.size(),
                                          end - begin, level));
                while (std::size_t count = decoder.read(piece.data(), piece.size()))
                    out.append(piece.data(), count);
                ASSERT_TRUE(decoder.intact()) << "block " << i;
            }
            EXPECT_TRUE(out == *input);
        }
    }
}

TEST(Bzip2Decoders, AgreeOnIntactAndConcatenatedStreams)
{
    std::string text = sampleText(700000, 1);
    std::string blocks = bzip2Streams(text, 1); // seven blocks
    std::string oneBlock = bzip2Streams(text, 9);
    std::string empty = bzip2Streams("", 9);

    EXPECT_TRUE(verdict(blocks, "blocks"));
    EXPECT_TRUE(verdict(blocks + blocks, "two streams"));
    EXPECT_TRUE(verdict(bzip2Streams(text, 2, 250000), "three streams"));
    EXPECT_TRUE(verdict(oneBlock + blocks + oneBlock, "block sizes 9, 1, 9"));
    EXPECT_TRUE(verdict(empty, "empty stream"));
    EXPECT_TRUE(verdict(empty + blocks + empty, "empty streams around"));

    EXPECT_FALSE(verdict("", "nothing"));
    EXPECT_FALSE(verdict("BZh9", "a header alone"));
    EXPECT_FALSE(verdict(blocks + "x", "a byte after"));
    EXPECT_FALSE(verdict(blocks + "BZh", "part of a header after"));
    EXPECT_FALSE(verdict(blocks + "BZh9", "a header after"));
    EXPECT_FALSE(verdict(blocks + std::string(10, '\0'), "zeros after"));
    EXPECT_FALSE(verdict(blocks + blocks.substr(0, blocks.size() / 2), "half a stream after"));
    EXPECT_FALSE(verdict(blocks.substr(0, blocks.size() / 2) + blocks, "half a stream before"));

    // A block of 700 000 bytes fits block size 8 but not 5.
    std::string digit = oneBlock;
    digit[3] = '8';
    EXPECT_TRUE(verdict(digit, "block size 8"));
    digit[3] = '5';
    EXPECT_FALSE(verdict(digit, "block size 5"));
    digit[3] = '0';
    EXPECT_FALSE(verdict(digit, "block size 0"));
    digit[3] = '8';
    EXPECT_FALSE(verdict(blocks + digit.substr(0, 3) + "5" + digit.substr(4), "second stream's size 5"));
}

TEST(Bzip2Decoders, AgreeOnEveryKindOfDamage)
{
    // Two streams of three and two blocks.
    std::string first = bzip2Streams(sampleText(250000, 2), 1);
    std::string stream = first + bzip2Streams(sampleText(150000, 3), 1);
    ASSERT_TRUE(verdict(stream, "intact"));

    for (std::size_t length = 0; length < stream.size(); length += 3001)
        EXPECT_FALSE(verdict(stream.substr(0, length), "cut to " + std::to_string(length)));
    for (std::size_t length = first.size() - 12; length < first.size() + 6; ++length)
        if (length != first.size()) {
            EXPECT_FALSE(verdict(stream.substr(0, length), "cut to " + std::to_string(length)));
        }

    // Single bits: random ones, every bit of the first header and block magic,
    // and every bit around the end of the first stream and the start of the next.
    std::vector<std::size_t> bits;
    std::mt19937 random(160706);
    for (int i = 0; i < 120; ++i)
        bits.push_back(random() % (8 * stream.size()));
    for (std::size_t bit = 0; bit < 8 * 10; bit += 3)
        bits.push_back(bit);
    for (std::size_t bit = 8 * (first.size() - 11); bit < 8 * (first.size() + 10); bit += 2)
        bits.push_back(bit);
    for (std::size_t bit : bits) {
        std::string damaged = stream;
        damaged[bit / 8] = static_cast<char>(damaged[bit / 8] ^ (0x80 >> bit % 8));
        verdict(damaged, "bit " + std::to_string(bit) + " changed");
    }

    // Bytes lost or doubled in the middle of a block.
    std::size_t middle = stream.size() / 3;
    EXPECT_FALSE(verdict(stream.substr(0, middle) + stream.substr(middle + 1), "a byte lost"));
    EXPECT_FALSE(verdict(stream.substr(0, middle) + stream.substr(middle - 1), "a byte doubled"));
}

// A damaged block followed by hundreds of small streams that each decode to almost
// 2 MB. The block's CRC is wrong, which libbz2 finds before it reads a bit beyond the
// block: no bits after it can mend it, so the parallel decoder refuses it at once,
// as libbz2 does, instead of trying it joined with every piece after it (which took
// seconds, and held 760 MB before those pieces' own output was dropped). It reads
// on no further than the few blocks in flight.
TEST(Bzip2Decoders, ADamagedBlockBeforeManySmallStreamsIsRefused)
{
    std::string pattern = std::string(95, 'a') + std::string(95, 'b'), text;
    for (int i = 0; i < 10000; ++i)
        text += pattern;
    const std::string small = bzip2Streams(text, 1);
    std::string input = small;
    input[11] = static_cast<char>(input[11] ^ 0xFF);
    for (int i = 0; i < 400; ++i)
        input += small;
    EXPECT_FALSE(verdict(input, "a damaged block, then 400 streams"));

    PieceBuf buffer(input.data(), input.size(), 1024);
    std::istream source(&buffer);
    EXPECT_THROW(
        {
            ParallelBzip2 decoder(source, 2, false);
            decoder.run(nullptr);
        },
        std::system_error);
    EXPECT_LT(buffer.handedOut(), input.size() / 4);
}

// `stream` with `pairs` more steps (+1, then -1) in its first block's first code
// length than bzip2 writes: the same block to libbz2, 4 bits longer per pair.
// `pairs` even keeps the stream's end on a whole byte.
std::string paddedFirstTable(const std::string& stream, std::size_t pairs)
{
    auto bit = [&](std::size_t at) {
        return (static_cast<std::uint8_t>(stream[at / 8]) >> (7 - at % 8)) & 1;
    };
    auto bits = [&](std::size_t at, unsigned count) {
        unsigned value = 0;
        while (count-- > 0)
            value = value << 1 | bit(at++);
        return value;
    };
    std::size_t at = 32 + 48 + 32 + 1 + 24; // header, block magic, CRC, randomised, origPtr
    const unsigned used = bits(at, 16);
    at += 16;
    for (unsigned group = 0; group < 16; ++group)
        at += (used >> group & 1) * 16;
    const unsigned selectors = bits(at + 3, 15); // after the count of tables
    at += 18;
    for (unsigned i = 0; i < selectors; ++i)
        while (bit(at++)) {
        }
    at += 5; // the first code length

    std::string out;
    std::size_t written = 0;
    auto put = [&](unsigned b) {
        if (written % 8 == 0)
            out += '\0';
        out.back() = static_cast<char>(out.back() | b << (7 - written % 8));
        ++written;
    };
    for (std::size_t i = 0; i < at; ++i)
        put(bit(i));
    for (std::size_t i = 0; i < pairs; ++i)
        for (unsigned b : {1, 0, 1, 1})
            put(b);
    for (std::size_t i = at; i < 8 * stream.size(); ++i)
        put(bit(i));
    return out;
}

// libbz2 takes a block of any length; the parallel decoder holds a block's bits in
// memory and refuses one beyond its limit (ParallelBzip2::maxBlockBits), longer
// than any encoder writes. Its verdict does not depend on how many bytes each read
// of the source returns: a block beyond the limit by less than one read of the
// decoder (256 KB) was taken when the source handed out everything at once.
TEST(Bzip2Decoders, ABlockBeyondTheLimitIsRefusedHoweverTheSourceIsRead)
{
    const std::string stream = bzip2Streams(sampleText(5000, 6), 9);
    const std::size_t limit = ParallelBzip2::maxBlockBits / 8;
    auto ofSize = [&](std::size_t bytes) { return paddedFirstTable(stream, (bytes - stream.size()) * 2); };

    const std::string within = ofSize(limit - 64 * 1024), beyond = ofSize(limit + 100 * 1024);
    for (std::size_t piece : {std::size_t(64 * 1024), std::size_t(0)}) {
        SCOPED_TRACE(piece ? "64 KB per read" : "all at once");
        EXPECT_TRUE(verifyWith(bzip2_decoder::reference, within, piece));
        EXPECT_TRUE(verifyWith(bzip2_decoder::parallel, within, piece));
        EXPECT_TRUE(verifyWith(bzip2_decoder::reference, beyond, piece));
        EXPECT_FALSE(verifyWith(bzip2_decoder::parallel, beyond, piece));
    }
}

std::string decodeParallel(const std::string& stream, Bzip2BlockCache& cache)
{
    imemstream source(stream.data(), stream.size());
    ParallelBzip2 decoder(source, 2, true, &cache);
    std::string out;
    decoder.run([&](const char* bytes, std::size_t count) { out.append(bytes, count); });
    return out;
}

// A verification keeps the first blocks up to the cache's capacity; an extraction
// takes them only for the very same bits and decodes the rest.
TEST(Bzip2Decoders, VerifiedBlocksServeOnlyTheSameStream)
{
    std::string text = sampleText(900000, 4), otherText = sampleText(900000, 5);
    std::string stream = bzip2Streams(text, 1), other = bzip2Streams(otherText, 1);
    Bzip2BlockCache cache(350000); // three of the nine blocks
    {
        imemstream source(stream.data(), stream.size());
        ParallelBzip2 verification(source, 2, false, &cache);
        EXPECT_EQ(verification.run(nullptr), stream.size());
    }
    EXPECT_GT(cache.size(), 200000u);
    EXPECT_LE(cache.size(), cache.capacity());

    EXPECT_EQ(decodeParallel(other, cache), otherText); // the same places, other bits
    EXPECT_FALSE(cache.empty());
    EXPECT_EQ(decodeParallel(stream, cache), text);
    EXPECT_TRUE(cache.empty());
}

// The spill file as the run uses it, counting what goes through it; it refuses
// every write once `writable` is false.
struct CountedSpill : Bzip2Spill {
    SpillFile file;
    bool writable = true;
    int appends = 0, reads = 0;
    bool restart() override { return file.restart(); }
    bool append(const char* bytes, std::size_t count) override
    {
        if (!writable)
            return false;
        ++appends;
        return file.append(bytes, count);
    }
    bool read(std::uint64_t offset, char* bytes, std::size_t count) override
    {
        ++reads;
        return file.read(offset, bytes, count);
    }
};

bool verifyInto(const std::string& stream, Bzip2BlockCache& cache)
{
    imemstream source(stream.data(), stream.size());
    try {
        ParallelBzip2 verification(source, 2, false, &cache);
        return verification.run(nullptr) == stream.size();
    } catch (const std::system_error&) {
        return false;
    }
}

// Beyond the memory the verified blocks go to the spill, and the extraction reads
// them back instead of decoding them again: the same output and the same verdicts
// as without it, also when the spill cannot be written.
TEST(Bzip2Decoders, SpilledBlocksServeTheExtractionWithTheSameOutputAndVerdicts)
{
    const std::string text = sampleText(900000, 6);
    const std::string stream = bzip2Streams(text, 1);
    TempDir dir(L"spill");
    CountedSpill spill;
    ASSERT_TRUE(spill.file.create(dir / L"blocks.spill"));
    EXPECT_FALSE(SpillFile().create(dir / L"blocks.spill")) << "an existing file is never taken over";
    Bzip2BlockCache cache(350000); // three of the nine blocks in memory
    cache.spillTo(&spill, 1u << 30);

    ASSERT_TRUE(verifyInto(stream, cache));
    EXPECT_GE(spill.appends, 5);
    EXPECT_GT(cache.spilled(), 500000u);
    EXPECT_EQ(decodeParallel(stream, cache), text);
    EXPECT_EQ(spill.reads, spill.appends);
    EXPECT_TRUE(cache.empty());

    // A block damaged beyond the memory is refused as it is without a spill.
    std::string damaged = stream;
    damaged[damaged.size() * 8 / 9] = static_cast<char>(damaged[damaged.size() * 8 / 9] ^ 0x10);
    cache.clear();
    EXPECT_FALSE(verifyInto(damaged, cache));
    Bzip2BlockCache memoryOnly(350000);
    EXPECT_FALSE(verifyInto(damaged, memoryOnly));

    // A spill that cannot be written leaves those blocks to be decoded again.
    cache.clear();
    spill.writable = false;
    spill.reads = 0;
    ASSERT_TRUE(verifyInto(stream, cache));
    EXPECT_EQ(cache.spilled(), 0u);
    EXPECT_EQ(decodeParallel(stream, cache), text);
    EXPECT_EQ(spill.reads, 0);
}

} // namespace
} // namespace ar::test
