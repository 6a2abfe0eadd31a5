// The payload archive: its records, the notifications of an extraction, the
// "compress" error codes, the CRC-32 of its files and the header's byte layout.
//
// This file is portable (no Windows headers): the installer reads archives with
// it and the payload builder on the build machine writes them with it.
//
// Archive layout (decompressed, little-endian, no alignment):
//   u64 data offset (= header length; written as two u32, low word first)
//   u32 entry count
//   per entry: u32 n, n UTF-16 units source path; u32 n, n UTF-16 units destination
//              folder (begins with a folder token); u32 kind; u64 size; u32 CRC-32
//   the files' bytes, in entry order, back to back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <variant>
#include <vector>

namespace ar {

enum class FileKind : std::uint32_t {
    Program = 0,        // interface-language libraries
    MainProgram = 1,    // the product's main executable
    Uninstaller = 2,    // the uninstaller executable
    EditableData = 3,   // data the user may change: never overwritten
    Texture = 4,        // skipped when updating an older version
    SetupTemporary = 5, // written to the temporary folder only
};

// One file of the archive. While the header is read `destination` is the folder as
// stored (starting with a folder token); once the header is complete it is the
// full path of the file on this machine.
struct PayloadEntry {
    std::wstring sourcePath; // path on the machine that built the archive
    std::wstring destination;
    FileKind kind = FileKind::Program;
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
};

// The keywords that may begin a destination folder, in the order they are tested.
enum class FolderToken {
    InstallPath,
    SamplePath,
    ProgramFiles,
    ProgramCommon,
    CommonData,
    UserData,
    CommonDocuments,
    Documents,
    CommonDesktop,
    Desktop,
    WinDir,
    System,
    Temporary,
};
inline constexpr int folderTokenCount = 13;

// "<InstallPath>" and so on, brackets included.
const wchar_t* folder_token_text(FolderToken token);
// The token that `element` spells exactly (case-sensitive, no trimming), if any.
std::optional<FolderToken> folder_token(std::wstring_view element);
// True when a path element is written in angle brackets, like a token.
bool looks_like_folder_token(std::wstring_view element);

// What the folder tokens <InstallPath>, <SamplePath> and <Temporary> stand for.
struct PayloadFolders {
    std::wstring installFolder;
    std::wstring sampleFolder;
    std::wstring tempFolder; // may be empty: <Temporary> is then the install folder
};

// What an extraction reports to its handler. The alternatives' index is part of
// the contract: started 0, finished 1, file_begin 2, file_end 3, progress 4, failed 5.
struct notification {
    struct started {};
    struct finished {
        std::uint64_t compressed = 0; // bytes read from the compressed source
        std::uint64_t total = 0;      // archive length
    };
    struct file_begin {
        const PayloadEntry* entry = nullptr; // destination resolved
    };
    struct file_end {
        const PayloadEntry* entry = nullptr; // written and its checksum verified
    };
    struct progress {
        std::uint64_t position = 0; // archive bytes consumed, header included
        std::uint64_t total = 0;
    };
    struct failed {
        std::error_code code;
        std::wstring path; // the file concerned, possibly empty
    };

    // The handler's answer. `abort` counts after file_begin, progress and file_end;
    // `skip` only after file_begin (elsewhere it means proceed).
    enum class result { proceed = 0, abort = 1, skip = 2 };

    std::variant<started, finished, file_begin, file_end, progress, failed> value;

    std::size_t index() const { return value.index(); }
    template <typename T> const T* get_if() const { return std::get_if<T>(&value); }
};

using notification_handler = std::function<notification::result(const notification&)>;

// Codes of the "compress" error category.
enum class compress_errc {
    invalid_checksum = 3,    // a written file's CRC-32 differs from its entry
    verification_failed = 4, // the compressed payload did not verify
    interrupted = 5,         // the handler answered abort
    bzip2_error = 6,         // corrupt or truncated compressed data
    unexpected_error = 7,    // malformed archive, unresolvable folder, anything else
};

const std::error_category& compress_category() noexcept;
std::error_code make_error_code(compress_errc code) noexcept;
// Throws the code as a std::system_error.
[[noreturn]] void throw_compress_error(compress_errc code);

// CRC-32 as in zlib and IEEE 802.3 (reflected 0xEDB88320). Pass 0 to start and the
// previous result to continue; the CRC of nothing is 0.
std::uint32_t crc32(std::uint32_t crc, const void* data, std::size_t size) noexcept;

// Header limits. The smallest header holds the data offset and an entry count; an
// entry record takes at least 24 bytes. A larger header than the limit is refused
// before it is buffered (a real one is about 200 bytes per file).
inline constexpr std::uint64_t minimumHeaderSize = 12;
inline constexpr std::uint64_t minimumEntrySize = 24;
inline constexpr std::uint64_t maximumHeaderSize = 64u << 20;

// The whole header for `entries` (data offset first).
std::string encode_archive_header(const std::vector<PayloadEntry>& entries);

// The data offset from the header's first 8 bytes.
std::uint64_t read_data_offset(std::string_view first8);

// True when a data offset can start a header this reader completes.
bool plausible_data_offset(std::uint64_t dataOffset);

// Parses a complete header (`header.size()` is its data offset). Every count is
// checked against the bytes that remain before anything is allocated; a header
// whose records run past its end raises unexpected_error.
std::vector<PayloadEntry> parse_archive_header(std::string_view header);

// Data offset plus all file sizes; unexpected_error when that overflows.
std::uint64_t archive_length(std::uint64_t dataOffset, const std::vector<PayloadEntry>& entries);

// The last element of a source path (after the last '\', '/' or drive colon).
std::wstring file_name_of(const std::wstring& sourcePath);

// A name that can only mean a file inside its folder: not empty, not "." or "..".
bool is_plain_file_name(const std::wstring& name);

} // namespace ar

namespace std {
template <> struct is_error_code_enum<ar::compress_errc> : true_type {
};
} // namespace std
