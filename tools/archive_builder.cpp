#include "tools/archive_builder.h"

#include "payload/destination_rules.h"

#include <bzlib.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

namespace ar::tools {
namespace {

constexpr std::size_t blockSize = 64 * 1024;

constexpr const char* kindNames[] = {"Program",      "MainProgram", "Uninstaller",
                                     "EditableData", "Texture",     "SetupTemporary"};

std::string_view trim(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> split(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    for (;;) {
        std::size_t cut = text.find(separator);
        parts.push_back(text.substr(0, cut));
        if (cut == std::string_view::npos)
            return parts;
        text.remove_prefix(cut + 1);
    }
}

std::string allTokens()
{
    std::string list;
    for (int i = 0; i < folderTokenCount; ++i)
        list += (i ? ", " : "") + utf8(folder_token_text(static_cast<FolderToken>(i)));
    return list;
}

std::string hex32(std::uint32_t value)
{
    char text[9];
    std::snprintf(text, sizeof text, "%08" PRIx32, value);
    return text;
}

// Size and CRC-32 of a file, read in blocks; nullopt when it cannot be read.
std::optional<std::pair<std::uint64_t, std::uint32_t>> measure(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::vector<char> block(blockSize);
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    while (in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        std::size_t got = static_cast<std::size_t>(in.gcount());
        size += got;
        crc = ar::crc32(crc, block.data(), got);
    }
    if (in.bad())
        return std::nullopt;
    return std::make_pair(size, crc);
}

// One UTF-8 sequence at `at`: its code point and length, or length 0 when the
// bytes there are malformed, overlong (a longer form than the code point needs,
// such as C0 AF for '/'), a surrogate or beyond U+10FFFF.
struct Decoded {
    std::uint32_t code = 0;
    std::size_t length = 0;
};

Decoded decode(std::string_view text, std::size_t at)
{
    unsigned char lead = static_cast<unsigned char>(text[at]);
    int extra = lead < 0x80           ? 0
                : (lead >> 5) == 0x6  ? 1
                : (lead >> 4) == 0xE  ? 2
                : (lead >> 3) == 0x1E ? 3
                                      : -1;
    if (extra < 0 || at + static_cast<std::size_t>(extra) >= text.size())
        return {};
    std::uint32_t code = extra == 0   ? lead
                         : extra == 1 ? lead & 0x1F
                         : extra == 2 ? lead & 0x0F
                                      : lead & 0x07;
    for (int k = 1; k <= extra; ++k) {
        unsigned char next = static_cast<unsigned char>(text[at + static_cast<std::size_t>(k)]);
        if ((next & 0xC0) != 0x80)
            return {};
        code = code << 6 | (next & 0x3F);
    }
    static constexpr std::uint32_t smallest[] = {0, 0x80, 0x800, 0x10000};
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) || code < smallest[extra])
        return {};
    return {code, static_cast<std::size_t>(extra) + 1};
}

} // namespace

std::wstring utf16(std::string_view text)
{
    std::wstring out;
    std::size_t i = 0;
    while (i < text.size()) {
        Decoded next = decode(text, i);
        if (next.length == 0) {
            out.push_back(static_cast<wchar_t>(0xFFFD));
            ++i;
            continue;
        }
        i += next.length;
        std::uint32_t code = next.code;
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(code));
        }
    }
    return out;
}

std::string utf8(const std::wstring& units)
{
    return to_utf8(units);
}

std::size_t invalid_utf8_at(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        Decoded next = decode(text, i);
        if (next.length == 0)
            return i;
        i += next.length;
    }
    return std::string_view::npos;
}

std::optional<FileKind> parse_kind(std::string_view text)
{
    for (std::size_t i = 0; i < std::size(kindNames); ++i)
        if (text == kindNames[i] || text == std::to_string(i))
            return static_cast<FileKind>(i);
    return std::nullopt;
}

const char* kind_name(FileKind kind)
{
    auto index = static_cast<std::uint32_t>(kind);
    return index < std::size(kindNames) ? kindNames[index] : "?";
}

std::vector<ManifestEntry> parse_manifest(std::string_view text, const std::string& manifestName,
                                          const std::string& baseFolder, std::vector<std::string>& errors)
{
    std::vector<ManifestEntry> entries;
    // A byte-order mark marks the file as UTF-8; it belongs to no name. Anywhere
    // else U+FEFF is text, and names with it are refused below.
    constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
    if (text.substr(0, byteOrderMark.size()) == byteOrderMark)
        text.remove_prefix(byteOrderMark.size());
    int number = 0;
    for (std::string_view line : split(text, '\n')) {
        ++number;
        auto fail = [&](const std::string& reason) {
            errors.push_back(manifestName + ":" + std::to_string(number) + ": " + reason);
        };
        std::string_view whole = line;
        line = trim(line);
        if (line.empty() || line.front() == '#')
            continue;
        if (std::size_t bad = invalid_utf8_at(whole); bad != std::string_view::npos) {
            fail("not valid UTF-8 (malformed or overlong sequence at byte " + std::to_string(bad + 1) +
                 " of the line)");
            continue;
        }
        auto fields = split(line, '|');
        if (fields.size() != 3) {
            fail("expected 'source | destination folder | kind'");
            continue;
        }
        ManifestEntry entry;
        entry.where = manifestName + ":" + std::to_string(number);
        entry.source = std::string(trim(fields[0]));
        entry.destination = utf16(trim(fields[1]));
        std::string_view kindText = trim(fields[2]);

        std::size_t errorsBefore = errors.size();
        auto kind = parse_kind(kindText);
        if (kind)
            entry.kind = *kind;
        else
            fail("unknown kind '" + std::string(kindText) +
                 "' (Program, MainProgram, Uninstaller, EditableData, Texture, SetupTemporary or 0 to 5)");

        std::filesystem::path source(entry.source);
        entry.sourceFile =
            (source.is_absolute() ? source : std::filesystem::path(baseFolder) / source).string();
        std::error_code ignored;
        if (entry.source.empty() || !std::filesystem::is_regular_file(entry.sourceFile, ignored))
            fail("missing source file '" + entry.source + "'");

        std::wstring name = file_name_of(utf16(entry.source));
        if (!is_plain_file_name(name))
            fail("source '" + entry.source + "' has no file name");
        else if (std::string fault = name_fault(name); !fault.empty())
            fail("file name " + fault);

        std::string destinationError = destination_fault(entry.destination);
        if (!folder_token(entry.destination.substr(0, entry.destination.find_first_of(L"\\/"))))
            fail("destination '" + utf8(entry.destination) + "' does not begin with a folder token (" +
                 allTokens() + ")");
        else if (entry.destination.size() > maxDestination)
            fail("destination folder too long (" + std::to_string(entry.destination.size()) +
                 " UTF-16 units, at most " + std::to_string(maxDestination) + ")");
        else if (!destinationError.empty())
            fail("destination '" + utf8(entry.destination) + "': " + destinationError);

        if (errors.size() == errorsBefore)
            entries.push_back(std::move(entry));
    }
    return entries;
}

void check_duplicates(const std::vector<ManifestEntry>& entries, std::vector<std::string>& errors)
{
    std::vector<std::wstring> files;
    for (const auto& entry : entries)
        files.push_back(entry.destination + L'\\' + file_name_of(utf16(entry.source)));
    for (auto [repeat, first] : same_paths(files))
        errors.push_back(entries[repeat].where + ": same destination file as " + entries[first].where +
                         " ('" + utf8(files[repeat]) + "' and '" + utf8(files[first]) + "')");
}

struct Bzip2Writer::State {
    bz_stream stream{};
    std::array<char, blockSize> buffer{};
    bool finished = false;
};

Bzip2Writer::Bzip2Writer(std::ostream& out) : state_(std::make_unique<State>()), out_(out)
{
    if (BZ2_bzCompressInit(&state_->stream, 9, 0, 0) != BZ_OK)
        throw std::runtime_error("bzip2: cannot start compression");
}

Bzip2Writer::~Bzip2Writer()
{
    BZ2_bzCompressEnd(&state_->stream);
}

void Bzip2Writer::run(int action)
{
    bz_stream& s = state_->stream;
    for (;;) {
        s.next_out = state_->buffer.data();
        s.avail_out = static_cast<unsigned>(state_->buffer.size());
        int result = BZ2_bzCompress(&s, action);
        if (result < 0)
            throw std::runtime_error("bzip2: compression failed (" + std::to_string(result) + ")");
        out_.write(state_->buffer.data(), static_cast<std::streamsize>(state_->buffer.size() - s.avail_out));
        if (!out_)
            throw std::runtime_error("cannot write the compressed archive");
        if (action == BZ_RUN ? s.avail_in == 0 : result == BZ_STREAM_END)
            return;
    }
}

void Bzip2Writer::write(const char* bytes, std::size_t count)
{
    if (state_->finished)
        throw std::logic_error("bzip2: write after finish");
    while (count > 0) {
        unsigned step = static_cast<unsigned>(std::min<std::size_t>(count, 1u << 30));
        state_->stream.next_in = const_cast<char*>(bytes);
        state_->stream.avail_in = step;
        run(BZ_RUN);
        bytes += step;
        count -= step;
    }
}

void Bzip2Writer::finish()
{
    if (state_->finished)
        return;
    state_->stream.avail_in = 0;
    run(BZ_FINISH);
    state_->finished = true;
}

std::string bzip2_compress(std::string_view bytes)
{
    std::ostringstream out;
    Bzip2Writer writer(out);
    writer.write(bytes.data(), bytes.size());
    writer.finish();
    return out.str();
}

ArchiveWriter::ArchiveWriter(std::ostream& out, std::vector<PayloadEntry> entries)
    : bzip2_(out), entries_(std::move(entries)), expected_(archive_length(0, entries_))
{
    std::string header = encode_archive_header(entries_);
    bzip2_.write(header.data(), header.size());
}

void ArchiveWriter::write(const char* bytes, std::size_t count)
{
    if (count > expected_ - written_)
        throw std::logic_error("archive: more file bytes than the entries' sizes");
    bzip2_.write(bytes, count);
    written_ += count;
}

void ArchiveWriter::finish()
{
    if (written_ != expected_)
        throw std::logic_error("archive: fewer file bytes than the entries' sizes");
    bzip2_.finish();
}

bool build_archive(const std::vector<ManifestEntry>& manifest, std::ostream& out,
                   std::vector<std::string>& errors)
{
    std::vector<PayloadEntry> entries;
    for (const auto& line : manifest) {
        auto measured = measure(line.sourceFile);
        if (!measured) {
            errors.push_back(line.where + ": cannot read '" + line.sourceFile + "'");
            continue;
        }
        entries.push_back(
            {utf16(line.source), line.destination, line.kind, measured->first, measured->second});
    }
    if (!errors.empty())
        return false;

    ArchiveWriter writer(out, entries);
    std::vector<char> block(blockSize);
    for (std::size_t i = 0; i < manifest.size(); ++i) {
        std::ifstream in(manifest[i].sourceFile, std::ios::binary);
        std::uint64_t size = 0;
        std::uint32_t crc = 0;
        while (in && size <= entries[i].size) {
            in.read(block.data(), static_cast<std::streamsize>(block.size()));
            std::size_t got = static_cast<std::size_t>(in.gcount());
            size += got;
            crc = ar::crc32(crc, block.data(), got);
            if (size <= entries[i].size)
                writer.write(block.data(), got);
        }
        if (in.bad() || size != entries[i].size || crc != entries[i].crc) {
            errors.push_back(manifest[i].where + ": '" + manifest[i].sourceFile +
                             "' changed while the archive was built");
            return false;
        }
    }
    writer.finish();
    return true;
}

namespace {

// Follows the archive's sections as the decompressed bytes arrive (the same
// order of checks as the installer's reader) and reports what it finds.
class ArchiveChecker {
public:
    explicit ArchiveChecker(std::ostream& report) : report_(report) {}

    void take(const char* bytes, std::size_t count)
    {
        while (count > 0 && ok_) {
            std::size_t used = step(bytes, count);
            bytes += used;
            count -= used;
        }
    }

    bool complete(std::uint64_t compressed)
    {
        if (!ok_)
            return false;
        if (!headerDone_)
            return problem("the archive ends inside its header");
        while (index_ < entries_.size() && entries_[index_].size == 0)
            closeEntry();
        if (index_ < entries_.size())
            return problem("the archive ends inside entry " + std::to_string(index_ + 1));
        report_ << "compressed " << compressed << " bytes, archive " << length_ << " bytes: OK\n";
        return ok_;
    }

private:
    std::size_t step(const char* bytes, std::size_t count)
    {
        if (!headerDone_) {
            std::uint64_t wanted = header_.size() < 8 ? 8 - header_.size() : dataOffset_ - header_.size();
            std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(wanted, count));
            header_.append(bytes, take);
            length_ += take;
            if (header_.size() == 8 && dataOffset_ == 0) {
                dataOffset_ = read_data_offset(header_);
                if (!plausible_data_offset(dataOffset_))
                    problem("implausible data offset " + std::to_string(dataOffset_));
            } else if (header_.size() == dataOffset_) {
                parseHeader();
            }
            return take;
        }
        if (index_ >= entries_.size()) {
            problem("bytes after the last file");
            return count;
        }
        std::size_t take =
            static_cast<std::size_t>(std::min<std::uint64_t>(entries_[index_].size - done_, count));
        crc_ = ar::crc32(crc_, bytes, take);
        done_ += take;
        length_ += take;
        if (done_ == entries_[index_].size)
            closeEntry();
        return take;
    }

    void parseHeader()
    {
        try {
            entries_ = parse_archive_header(header_);
        } catch (const std::system_error&) {
            problem("malformed header: its records run past the data offset " + std::to_string(dataOffset_));
            return;
        }
        headerDone_ = true;
        report_ << entries_.size() << " entries, data offset " << dataOffset_ << "\n";
        report_ << "   #  kind            size        crc       destination\n";
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            const auto& e = entries_[i];
            char line[64];
            std::snprintf(line, sizeof line, "%4zu  %-14s %11" PRIu64 "  %s  ", i + 1, kind_name(e.kind),
                          e.size, hex32(e.crc).c_str());
            report_ << line << utf8(e.destination) << '\\' << utf8(file_name_of(e.sourcePath)) << "\n";
        }
        // The installer's reader refuses such a header before it writes anything.
        for (const std::string& fault : entry_faults(entries_))
            problem(fault);
        while (index_ < entries_.size() && entries_[index_].size == 0 && ok_)
            closeEntry();
    }

    void closeEntry()
    {
        const auto& e = entries_[index_];
        if (crc_ != e.crc)
            problem("entry " + std::to_string(index_ + 1) + " (" + utf8(file_name_of(e.sourcePath)) +
                    "): CRC " + hex32(crc_) + ", header says " + hex32(e.crc));
        ++index_;
        done_ = 0;
        crc_ = 0;
    }

    bool problem(const std::string& text)
    {
        report_ << "error: " << text << "\n";
        ok_ = false;
        return false;
    }

    std::ostream& report_;
    std::string header_;
    std::uint64_t dataOffset_ = 0;
    bool headerDone_ = false;
    std::vector<PayloadEntry> entries_;
    std::size_t index_ = 0;
    std::uint64_t done_ = 0;
    std::uint32_t crc_ = 0;
    std::uint64_t length_ = 0;
    bool ok_ = true;
};

} // namespace

bool list_archive(std::istream& compressed, std::ostream& report)
{
    bz_stream s{};
    if (BZ2_bzDecompressInit(&s, 0, 0) != BZ_OK) {
        report << "error: bzip2: cannot start decompression\n";
        return false;
    }
    ArchiveChecker checker(report);
    std::vector<char> in(blockSize), out(blockSize);
    std::uint64_t read = 0;
    int result = BZ_OK;
    while (result == BZ_OK) {
        if (s.avail_in == 0) {
            compressed.read(in.data(), static_cast<std::streamsize>(in.size()));
            s.next_in = in.data();
            s.avail_in = static_cast<unsigned>(compressed.gcount());
            read += s.avail_in;
            if (s.avail_in == 0)
                break;
        }
        s.next_out = out.data();
        s.avail_out = static_cast<unsigned>(out.size());
        result = BZ2_bzDecompress(&s);
        checker.take(out.data(), out.size() - s.avail_out);
    }
    std::uint64_t trailing = s.avail_in;
    BZ2_bzDecompressEnd(&s);
    if (result != BZ_STREAM_END) {
        report << "error: bzip2: " << (result == BZ_OK ? "the stream is truncated" : "corrupt data")
               << " (after " << read << " compressed bytes)\n";
        return false;
    }
    char extra;
    while (compressed.read(&extra, 1))
        ++trailing;
    if (trailing > 0) {
        report << "error: " << trailing << " bytes after the end of the bzip2 stream\n";
        return false;
    }
    return checker.complete(read);
}

} // namespace ar::tools
