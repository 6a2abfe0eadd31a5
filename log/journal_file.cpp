#include "log/journal_file.h"

#include "payload/archive.h"
#include "support/format.h"

#include <cstdio>
#include <cstdlib>
#include <map>

namespace ar {
namespace {

constexpr char separator = '\t';
constexpr char headerTag[] = "ArJournal";

constexpr unsigned succeededFlag = 1;
constexpr unsigned existedBeforeFlag = 2;
constexpr unsigned keptInPlaceFlag = 4;

std::string checked(std::string line)
{
    line += separator;
    char check[16];
    std::snprintf(check, sizeof check, "%08x", static_cast<unsigned>(crc32(0, line.data(), line.size())));
    line += check;
    line += '\n';
    return line;
}

std::vector<std::string> split(const std::string& text)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = text.find(separator, start);
        fields.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return fields;
        start = end + 1;
    }
}

// A decimal or hexadecimal number that fills the whole field.
bool number(const std::string& field, int base, long long& value)
{
    if (field.empty() || field.size() > 12)
        return false;
    char* end = nullptr;
    value = std::strtoll(field.c_str(), &end, base);
    return end && *end == 0;
}

// The line's fields without its check, or nothing when the check fails.
bool intact(const std::string& line, std::vector<std::string>& fields)
{
    std::size_t last = line.rfind(separator);
    if (last == std::string::npos || line.size() - last - 1 != 8)
        return false;
    long long check = 0;
    if (!number(line.substr(last + 1), 16, check))
        return false;
    if (static_cast<std::uint32_t>(check) != crc32(0, line.data(), last + 1))
        return false;
    fields = split(line.substr(0, last));
    return true;
}

} // namespace

std::string formatJournalHeader()
{
    return checked(std::string(headerTag) + separator + std::to_string(journalVersion));
}

std::string formatJournalFolder(const std::wstring& folder)
{
    return checked(std::string("T") + separator + toUtf8(folder));
}

std::string formatJournalProcess(const JournalProcess& process)
{
    char created[24];
    std::snprintf(created, sizeof created, "%016llx", static_cast<unsigned long long>(process.created));
    return checked(std::string("P") + separator + std::to_string(process.id) + separator + created);
}

std::string formatJournalRecord(std::size_t index, const UninstallLogRecord& record)
{
    unsigned flags = (record.succeeded ? succeededFlag : 0u) |
                     (record.existedBefore ? existedBeforeFlag : 0u) |
                     (record.keptInPlace ? keptInPlaceFlag : 0u);
    std::string line = "R";
    for (const std::string& field :
         {std::to_string(index), std::to_string(static_cast<std::uint32_t>(record.recordKind)),
          std::to_string(record.fileKind), std::to_string(flags), toUtf8(record.path),
          toUtf8(record.backupPath), toUtf8(record.backupSource)}) {
        line += separator;
        line += field;
    }
    return checked(line);
}

std::string formatJournalKey(const JournalKey& key)
{
    return checked(std::string("K") + separator + (key.existed ? "1" : "0") + separator + toUtf8(key.path) +
                   separator + toUtf8(key.hiveFile));
}

std::string formatJournalEnd()
{
    return checked("E");
}

JournalContents parseJournal(const std::string& bytes)
{
    JournalContents contents;
    std::map<std::size_t, UninstallLogRecord> records;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            break; // torn: the last write did not reach its line end
        std::vector<std::string> fields;
        if (!intact(bytes.substr(start, end - start), fields))
            break;
        start = end + 1;
        const std::string& tag = fields[0];
        if (contents.lines == 0) {
            long long version = 0;
            if (tag != headerTag || fields.size() != 2 || !number(fields[1], 10, version) || version < 1 ||
                version > journalVersion) {
                contents.foreign = true;
                return contents;
            }
            contents.understood = true;
        } else if (tag == "T" && fields.size() == 2) {
            contents.privateFolder = fromUtf8(fields[1]);
        } else if (tag == "P" && fields.size() == 3) {
            long long id = 0;
            if (!number(fields[1], 10, id) || id < 0 || id > 0xFFFFFFFFll || fields[2].size() != 16 ||
                fields[2].find_first_not_of("0123456789abcdef") != std::string::npos)
                break;
            contents.processes.push_back(
                {static_cast<std::uint32_t>(id), std::strtoull(fields[2].c_str(), nullptr, 16)});
        } else if (tag == "R" && fields.size() == 8) {
            long long index = 0, kind = 0, fileKind = 0, flags = 0;
            if (!number(fields[1], 10, index) || index < 0 || !number(fields[2], 10, kind) || kind < 0 ||
                kind > static_cast<long long>(RecordKind::DirectXSetup) || !number(fields[3], 10, fileKind) ||
                !number(fields[4], 10, flags))
                break;
            UninstallLogRecord record;
            record.recordKind = static_cast<RecordKind>(kind);
            record.fileKind = static_cast<std::int32_t>(fileKind);
            record.succeeded = (flags & succeededFlag) != 0;
            record.existedBefore = (flags & existedBeforeFlag) != 0;
            record.keptInPlace = (flags & keptInPlaceFlag) != 0;
            record.path = fromUtf8(fields[5]);
            record.backupPath = fromUtf8(fields[6]);
            record.backupSource = fromUtf8(fields[7]);
            records[static_cast<std::size_t>(index)] = std::move(record);
        } else if (tag == "K" && fields.size() == 4 && (fields[1] == "0" || fields[1] == "1")) {
            contents.keys.push_back({fields[1] == "1", fromUtf8(fields[2]), fromUtf8(fields[3])});
        } else if (tag == "E" && fields.size() == 1) {
            contents.ended = true;
        } else {
            break;
        }
        ++contents.lines;
        contents.length = start;
    }
    for (auto& [index, record] : records)
        contents.records.push_back(std::move(record));
    return contents;
}

} // namespace ar
