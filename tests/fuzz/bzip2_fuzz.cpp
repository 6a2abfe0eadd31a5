// The parallel bzip2 decoder against one plain libbz2 decoder over the same bytes:
// the same verdict, and the same output. Both passes run as an installation runs
// them: a verification that fills the verified blocks, then an extraction that takes
// them. The first byte chooses the workers (1 to 3), how many bytes the source hands
// out per read and how much the verified blocks may hold; the rest is the input.
#include <bzlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <istream>
#include <optional>
#include <streambuf>
#include <string>
#include <system_error>

#include "payload/archive.h"
#include "payload/bzip2_marks.h"
#include "payload/parallel_bzip2.h"
#include "tests/payload/piece_buffer.h"

namespace {

// Output beyond this is not compared (a few bytes can stand for gigabytes); a
// little more than the decoder keeps of a block for the calling thread (2 MiB), so
// that a block decoded again, streaming, is compared too.
constexpr std::size_t maxOutput = 5u << 19;

// libbz2 over the whole input: streams one after another, nothing after the last.
// Nothing when the output grows beyond maxOutput.
std::optional<std::string> reference(const char* bytes, std::size_t size, bool& intact)
{
    std::string out;
    intact = false;
    std::size_t at = 0;
    do {
        bz_stream stream{};
        if (BZ2_bzDecompressInit(&stream, 0, 0) != BZ_OK)
            std::abort();
        stream.next_in = const_cast<char*>(bytes + at);
        stream.avail_in = static_cast<unsigned>(size - at);
        int result = BZ_OK;
        char buffer[65536];
        while (result == BZ_OK) {
            stream.next_out = buffer;
            stream.avail_out = sizeof buffer;
            result = BZ2_bzDecompress(&stream);
            out.append(buffer, sizeof buffer - stream.avail_out);
            if (result == BZ_OK && stream.avail_in == 0 && stream.avail_out != 0)
                result = BZ_UNEXPECTED_EOF; // cut short
            if (out.size() > maxOutput) {
                BZ2_bzDecompressEnd(&stream);
                return std::nullopt;
            }
        }
        at = size - stream.avail_in;
        BZ2_bzDecompressEnd(&stream);
        if (result != BZ_STREAM_END)
            return out;
    } while (at < size);
    intact = true;
    return out;
}

// The one way in which the parallel decoder may differ: it refuses a block of more
// than ParallelBzip2::maxBlockBits, which libbz2 takes (no encoder writes one). Such
// a block lies between two marks that far apart.
bool holdsOversizedStretch(const char* bytes, std::size_t size)
{
    ar::Bzip2MarkScanner scanner;
    std::vector<ar::Bzip2Mark> marks;
    scanner.scan(reinterpret_cast<const std::uint8_t*>(bytes), size, marks);
    std::uint64_t last = 0;
    for (const ar::Bzip2Mark& mark : marks) {
        if (mark.at - last > ar::ParallelBzip2::maxBlockBits)
            return true;
        last = mark.at;
    }
    return 8 * std::uint64_t(size) - last > ar::ParallelBzip2::maxBlockBits;
}

[[noreturn]] void disagree(const char* what)
{
    std::fprintf(stderr, "bzip2 decoders disagree: %s\n", what);
    std::abort();
}

// One pass of the parallel decoder; false when it refuses the input as damaged.
bool parallel(const char* bytes, std::size_t size, std::size_t piece, unsigned workers, bool keepOutput,
              ar::Bzip2BlockCache& cache, std::string* out)
{
    ar::test::PieceBuf buffer(bytes, size, piece);
    std::istream source(&buffer);
    try {
        ar::ParallelBzip2 decoder(source, workers, keepOutput, &cache);
        ar::ParallelBzip2::Writer write;
        if (out)
            write = [out](const char* data, std::size_t count) {
                if (count == 0 || count > ar::ParallelBzip2::pieceSize)
                    disagree("a piece of output of a size the decoder does not hand on");
                out->append(data, count);
            };
        if (decoder.run(write) != size)
            disagree("the parallel decoder did not read the whole input");
    } catch (const std::system_error& e) {
        if (e.code() != ar::make_error_code(ar::compress_errc::bzip2_error))
            disagree(e.what());
        return false;
    }
    // As verify_payload: nothing may follow what the decoder read.
    return std::istream::traits_type::eq_int_type(buffer.sgetc(), std::istream::traits_type::eof());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    static const std::size_t pieces[] = {std::size_t(1) << 30, 1, 7, 4096};
    const unsigned choice = data[0];
    const unsigned workers = 1 + choice % 3;
    const std::size_t piece = pieces[choice / 3 % 4];
    const std::size_t capacity = choice / 12 % 2 ? 4096 : std::size_t(24) << 20;
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    --size;

    bool intact = false;
    std::optional<std::string> expected = reference(bytes, size, intact);
    if (!expected)
        return 0;

    ar::Bzip2BlockCache cache(capacity);
    const bool verified = parallel(bytes, size, piece, workers, false, cache, nullptr);
    if (verified != intact && !(intact && holdsOversizedStretch(bytes, size)))
        disagree(intact ? "an intact input is refused" : "a damaged input is accepted");
    if (!verified)
        cache.clear(); // as verify_payload leaves it
    if (cache.size() > cache.capacity())
        disagree("the verified blocks hold more than their capacity");

    std::string output;
    const bool extracted = parallel(bytes, size, piece, workers, true, cache, &output);
    if (extracted != verified)
        disagree("the extraction's verdict differs from the verification's");
    if (extracted && output != *expected)
        disagree("the output differs");
    return 0;
}
