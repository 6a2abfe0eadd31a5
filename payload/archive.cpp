#include "payload/archive.h"

#include <array>
#include <limits>

namespace ar {
namespace {

class CompressCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "compress"; }
    std::string message(int code) const override
    {
        switch (static_cast<compress_errc>(code)) {
        case compress_errc::invalid_checksum:
            return "invalid checksum";
        case compress_errc::verification_failed:
            return "verification failed";
        case compress_errc::interrupted:
            return "interrupted";
        case compress_errc::bzip2_error:
            return "bzip2 error";
        case compress_errc::unexpected_error:
            return "unexpected error";
        default:
            return "unknown error";
        }
    }
};

// Eight tables: the first is the classic byte table, the others let the loop
// take eight bytes per step ("slicing by 8"); the result is the same CRC.
std::array<std::array<std::uint32_t, 256>, 8> makeCrcTables()
{
    std::array<std::array<std::uint32_t, 256>, 8> tables{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        tables[0][i] = c;
    }
    for (std::size_t t = 1; t < 8; ++t)
        for (std::size_t i = 0; i < 256; ++i)
            tables[t][i] = (tables[t - 1][i] >> 8) ^ tables[0][tables[t - 1][i] & 0xFF];
    return tables;
}

const std::array<std::array<std::uint32_t, 256>, 8>& crcTables()
{
    static const auto tables = makeCrcTables();
    return tables;
}

void put32(std::string& out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void putString(std::string& out, const std::wstring& text)
{
    put32(out, static_cast<std::uint32_t>(text.size()));
    for (wchar_t unit : text) {
        out.push_back(static_cast<char>(static_cast<std::uint32_t>(unit) & 0xFF));
        out.push_back(static_cast<char>((static_cast<std::uint32_t>(unit) >> 8) & 0xFF));
    }
}

std::uint64_t get(const unsigned char* p, int bytes)
{
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = value << 8 | p[i];
    return value;
}

// Reads the header's fields in order, refusing to read or allocate past its end.
class HeaderReader {
public:
    explicit HeaderReader(std::string_view bytes)
        : p_(reinterpret_cast<const unsigned char*>(bytes.data())), left_(bytes.size())
    {
    }

    std::uint64_t number(int bytes)
    {
        need(static_cast<std::uint64_t>(bytes));
        std::uint64_t value = get(p_, bytes);
        skip(static_cast<std::size_t>(bytes));
        return value;
    }

    std::wstring text()
    {
        std::uint64_t units = number(4);
        need(units * 2);
        std::wstring result(static_cast<std::size_t>(units), L'\0');
        for (auto& unit : result) {
            unit = static_cast<wchar_t>(get(p_, 2));
            skip(2);
        }
        return result;
    }

    std::uint64_t left() const { return left_; }

private:
    void need(std::uint64_t bytes) const
    {
        if (bytes > left_)
            throw_compress_error(compress_errc::unexpected_error);
    }
    void skip(std::size_t bytes)
    {
        p_ += bytes;
        left_ -= bytes;
    }

    const unsigned char* p_;
    std::uint64_t left_;
};

constexpr const wchar_t* tokenTexts[folderTokenCount] = {
    L"<InstallPath>", L"<SamplePath>",      L"<ProgramFiles>", L"<ProgramCommon>", L"<CommonData>",
    L"<UserData>",    L"<CommonDocuments>", L"<Documents>",    L"<CommonDesktop>", L"<Desktop>",
    L"<WinDir>",      L"<System>",          L"<Temporary>"};

} // namespace

const wchar_t* folder_token_text(FolderToken token)
{
    return tokenTexts[static_cast<int>(token)];
}

std::optional<FolderToken> folder_token(std::wstring_view element)
{
    for (int i = 0; i < folderTokenCount; ++i)
        if (element == tokenTexts[i])
            return static_cast<FolderToken>(i);
    return std::nullopt;
}

bool looks_like_folder_token(std::wstring_view element)
{
    return !element.empty() && element.front() == L'<' && element.back() == L'>';
}

const std::error_category& compress_category() noexcept
{
    static const CompressCategory category;
    return category;
}

std::error_code make_error_code(compress_errc code) noexcept
{
    return {static_cast<int>(code), compress_category()};
}

void throw_compress_error(compress_errc code)
{
    throw std::system_error(make_error_code(code));
}

std::uint32_t crc32(std::uint32_t crc, const void* data, std::size_t size) noexcept
{
    const auto& t = crcTables();
    const unsigned char* p = static_cast<const unsigned char*>(data);
    std::uint32_t c = ~crc;
    for (; size >= 8; size -= 8, p += 8) {
        std::uint32_t low = c ^ (p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24);
        c = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
            t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
    }
    for (; size > 0; --size, ++p)
        c = t[0][(c ^ *p) & 0xFF] ^ (c >> 8);
    return ~c;
}

std::string encode_archive_header(const std::vector<PayloadEntry>& entries)
{
    std::string body;
    put32(body, static_cast<std::uint32_t>(entries.size()));
    for (const auto& entry : entries) {
        putString(body, entry.sourcePath);
        putString(body, entry.destination);
        put32(body, static_cast<std::uint32_t>(entry.kind));
        put32(body, static_cast<std::uint32_t>(entry.size & 0xFFFFFFFFu));
        put32(body, static_cast<std::uint32_t>(entry.size >> 32));
        put32(body, entry.crc);
    }
    std::uint64_t dataOffset = 8 + body.size();
    std::string header;
    header.reserve(static_cast<std::size_t>(dataOffset));
    put32(header, static_cast<std::uint32_t>(dataOffset & 0xFFFFFFFFu));
    put32(header, static_cast<std::uint32_t>(dataOffset >> 32));
    return header + body;
}

std::uint64_t read_data_offset(std::string_view first8)
{
    if (first8.size() < 8)
        throw_compress_error(compress_errc::unexpected_error);
    return get(reinterpret_cast<const unsigned char*>(first8.data()), 8);
}

bool plausible_data_offset(std::uint64_t dataOffset)
{
    return dataOffset >= minimumHeaderSize && dataOffset <= maximumHeaderSize;
}

std::vector<PayloadEntry> parse_archive_header(std::string_view header)
{
    HeaderReader reader(header);
    reader.number(8); // the data offset, which is the header's own length
    std::uint64_t count = reader.number(4);
    if (count > reader.left() / minimumEntrySize)
        throw_compress_error(compress_errc::unexpected_error);
    std::vector<PayloadEntry> entries(static_cast<std::size_t>(count));
    for (auto& entry : entries) {
        entry.sourcePath = reader.text();
        entry.destination = reader.text();
        entry.kind = static_cast<FileKind>(reader.number(4));
        entry.size = reader.number(8);
        entry.crc = static_cast<std::uint32_t>(reader.number(4));
    }
    return entries;
}

std::uint64_t archive_length(std::uint64_t dataOffset, const std::vector<PayloadEntry>& entries)
{
    std::uint64_t total = dataOffset;
    for (const auto& entry : entries) {
        if (entry.size > std::numeric_limits<std::uint64_t>::max() - total)
            throw_compress_error(compress_errc::unexpected_error);
        total += entry.size;
    }
    return total;
}

std::wstring file_name_of(const std::wstring& sourcePath)
{
    std::size_t cut = sourcePath.find_last_of(L"\\/:");
    return cut == std::wstring::npos ? sourcePath : sourcePath.substr(cut + 1);
}

bool is_plain_file_name(const std::wstring& name)
{
    return !name.empty() && name != L"." && name != L"..";
}

} // namespace ar
