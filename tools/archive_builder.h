// The payload builder's work, kept apart from its command line so that the
// installer's tests build their archives with the same code: the manifest, the
// bzip2 stream, the archive writer and the listing that checks an archive.
#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "payload/archive.h"

namespace ar::tools {

// A destination folder short enough to resolve (UTF-16 code units). Names are
// held to the installer's own rules (payload/destination_rules.h).
inline constexpr std::size_t maxDestination = 259;

// UTF-8 to UTF-16 code units (one per wchar_t, whatever its width) and back. A
// malformed or overlong sequence becomes U+FFFD.
std::wstring utf16(std::string_view utf8);
std::string utf8(const std::wstring& utf16Units);
// The offset of the first byte that does not start a well-formed, shortest UTF-8
// sequence of a Unicode scalar value; npos when the text is valid UTF-8.
std::size_t invalid_utf8_at(std::string_view text);

std::optional<FileKind> parse_kind(std::string_view text); // a name or a number
const char* kind_name(FileKind kind);                      // "?" for unknown values

// One manifest line: "source | destination folder | kind"; '#' starts a comment.
// A manifest is UTF-8; a byte-order mark at its start (as Windows editors save it)
// marks the encoding and is skipped.
struct ManifestEntry {
    std::string where;        // "<manifest>:<line>", for messages
    std::string source;       // as written
    std::string sourceFile;   // where to read it (relative to the manifest's folder)
    std::wstring destination; // the folder, beginning with a folder token
    FileKind kind = FileKind::Program;
};

// Parses and checks a manifest; every problem is added to `errors` as
// "<name>:<line>: <reason>". Lines that are not valid UTF-8, file names and
// destination folders that the installer would refuse are problems.
std::vector<ManifestEntry> parse_manifest(std::string_view text, const std::string& manifestName,
                                          const std::string& baseFolder, std::vector<std::string>& errors);

// Reports entries that would be installed to the same file, compared as the
// installer's reader and Windows compare them ('\' and '/' alike, doubled
// separators dropped, upper and lower case alike, outside ASCII too).
void check_duplicates(const std::vector<ManifestEntry>& entries, std::vector<std::string>& errors);

// A bzip2 stream (block size 900k) written to `out` as data is added.
class Bzip2Writer {
public:
    explicit Bzip2Writer(std::ostream& out);
    ~Bzip2Writer();
    Bzip2Writer(const Bzip2Writer&) = delete;
    Bzip2Writer& operator=(const Bzip2Writer&) = delete;

    void write(const char* bytes, std::size_t count);
    void finish(); // ends the stream; nothing may be written afterwards

private:
    void run(int action);
    struct State;
    std::unique_ptr<State> state_;
    std::ostream& out_;
};

std::string bzip2_compress(std::string_view bytes);

// Writes an archive: the header of `entries` at once, then their contents, which
// must add up to each entry's size in order (checked by finish()).
class ArchiveWriter {
public:
    ArchiveWriter(std::ostream& out, std::vector<PayloadEntry> entries);
    void write(const char* bytes, std::size_t count);
    void finish();

private:
    Bzip2Writer bzip2_;
    std::vector<PayloadEntry> entries_;
    std::uint64_t expected_;
    std::uint64_t written_ = 0;
};

// Reads the manifest's files (size and CRC-32, then their bytes) into an archive
// written to `out`. False, with the reasons in `errors`, when a file cannot be read
// or changes while it is read.
bool build_archive(const std::vector<ManifestEntry>& manifest, std::ostream& out,
                   std::vector<std::string>& errors);

// Decompresses an archive, prints its header (kind, size, CRC, destination) to
// `report` and checks it as the installer's reader does: every name and
// destination, every file's CRC and the archive's length. True when it is sound.
bool list_archive(std::istream& compressed, std::ostream& report);

} // namespace ar::tools
