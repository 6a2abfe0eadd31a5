// The payload: one bzip2-compressed archive carried as resource 260/134 of the
// executable, verified as a whole before anything is written, then decompressed
// and written file by file, each file checked against its CRC-32 once on disk.
//
// Use:
//   ar::imemstream source = ar::open_payload_resource();
//   ar::extract_payload(source, folders, [&](const ar::notification& n) {
//       if (n.get_if<ar::notification::started>()) {
//           if (!ar::verify_payload(source))
//           ar::throw_compress_error(ar::compress_errc::verification_failed); source.clear();
//           source.seekg(0);
//       }
//       ... return ar::notification::result::proceed;
//   });
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "payload/archive.h"
#include "payload/parallel_bzip2.h"
#include "support/memstream.h"

namespace ar {

inline constexpr unsigned payloadResourceType = 260;
inline constexpr unsigned payloadResourceId = 134;

// The compressed payload, read in place from the resource module or else the
// executable; an empty stream when there is none. The bytes stay mapped for the
// life of the process.
imemstream open_payload_resource();

// The bzip2 decoder behind verify_payload and extract_payload. `automatic` (the
// default) decodes the blocks on one thread per core (ParallelBzip2) on a machine
// with more than one, and otherwise, or when its threads cannot start, streams
// through Boost.Iostreams' decompressor, the reference that the tests compare it
// with; the other two choose one (`parallel` with at least two workers).
enum class bzip2_decoder { automatic, reference, parallel };

// How one installation decodes its payload: the decoder, and the blocks that the
// verification decoded, kept for the extraction that follows it over the same
// payload (up to 24 MB, so that a payload of that size is decoded once and the peak
// memory stays well below 64 MB with the blocks in flight on top). Used by one
// thread at a time.
class PayloadDecoding {
public:
    static constexpr std::size_t verifiedBlocksCapacity = 24u << 20;

    explicit PayloadDecoding(bzip2_decoder decoder = bzip2_decoder::automatic)
        : decoder_(decoder), verifiedBlocks_(verifiedBlocksCapacity)
    {
    }
    PayloadDecoding(const PayloadDecoding&) = delete;
    PayloadDecoding& operator=(const PayloadDecoding&) = delete;

    bzip2_decoder decoder() const { return decoder_; }
    Bzip2BlockCache& verifiedBlocks() { return verifiedBlocks_; }

private:
    bzip2_decoder decoder_;
    Bzip2BlockCache verifiedBlocks_;
};

// Decompresses the whole source, discarding the output: true when the bzip2
// stream (or several streams, one after the other) is intact and nothing else
// follows. Leaves the source at its end. The decoded blocks stay in `decoding` for
// an extraction of the same payload with it; without one, a fresh automatic one.
bool verify_payload(std::istream& source, PayloadDecoding& decoding);
bool verify_payload(std::istream& source);

// The archive's entries from the header at the start of the compressed `source`,
// destinations as stored (resolve_destination gives their paths): only the first
// bytes are decompressed. Throws std::system_error with a "compress" code when the
// header cannot be read. Leaves the source wherever decompression stopped.
std::vector<PayloadEntry> read_payload_entries(std::istream& source);

// Decompresses the archive from `source` and writes every file to its resolved
// destination while the bytes arrive, reporting through `handler` (mandatory).
// True on complete success; any failure is reported by one `failed` notification
// (then false), never thrown, unless the handler throws while told of it.
// Must not be re-entered. It takes the blocks that a verification with `decoding`
// kept, and leaves none; without a `decoding`, a fresh automatic one.
bool extract_payload(std::istream& source, PayloadFolders folders, notification_handler handler,
                     PayloadDecoding& decoding);
bool extract_payload(std::istream& source, PayloadFolders folders, notification_handler handler);

// CRC-32 of a file on disk. A file held by another process (sharing violation) is
// tried again after a second, up to four attempts in all. Throws std::system_error.
std::uint32_t file_crc32(const std::wstring& path);

// Opens `destination` for writing (truncated, others may only read it): an existing
// file is made writable first, a missing parent folder is created with its
// ancestors. Throws std::system_error or boost::filesystem::filesystem_error.
std::unique_ptr<std::ostream> prepare_output_file(const std::wstring& destination);

} // namespace ar
