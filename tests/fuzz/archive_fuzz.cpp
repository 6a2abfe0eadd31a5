// The archive header as the installer's reader takes it: the data offset from the
// first 8 bytes, the entries up to it, the archive's length and the rules every
// entry is held to. A header that parses encodes back to the same bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <system_error>

#include "payload/archive.h"
#include "payload/destination_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    try {
        const std::uint64_t dataOffset = ar::read_data_offset(input);
        if (!ar::plausible_data_offset(dataOffset) || dataOffset > input.size())
            return 0;
        const std::string_view header = input.substr(0, static_cast<std::size_t>(dataOffset));
        const std::vector<ar::PayloadEntry> entries = ar::parse_archive_header(header);
        const std::string encoded = ar::encode_archive_header(entries);
        if (encoded.size() > header.size() || header.substr(8, encoded.size() - 8) != encoded.substr(8)) {
            std::fprintf(stderr, "the entries do not encode back to the header's bytes\n");
            std::abort();
        }
        ar::entry_faults(entries);
        for (const ar::PayloadEntry& entry : entries)
            ar::is_plain_file_name(ar::file_name_of(entry.sourcePath));
        ar::archive_length(dataOffset, entries);
    } catch (const std::system_error& e) {
        if (e.code() != ar::make_error_code(ar::compress_errc::unexpected_error)) {
            std::fprintf(stderr, "unexpected error: %s\n", e.what());
            std::abort();
        }
    }
    return 0;
}
