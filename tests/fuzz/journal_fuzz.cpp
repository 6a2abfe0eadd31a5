// The run journal's reader (parseJournal) over any bytes. With the first byte odd,
// every line's check is made right first, so that the fields behind it are reached.
// What it reads, written again, reads the same; the intact part reads alone as the whole.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "log/journal_file.h"
#include "payload/archive.h"

namespace {

[[noreturn]] void broken(const char* what)
{
    std::fprintf(stderr, "journal: %s\n", what);
    std::abort();
}

// Each line's last eight characters replaced by the check of what comes before them.
std::string withChecks(const std::string& bytes)
{
    std::string out;
    std::size_t start = 0;
    for (std::size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = bytes.substr(start, end - start);
        std::size_t last = line.rfind('\t');
        if (last != std::string::npos) {
            char check[16];
            std::snprintf(check, sizeof check, "%08x",
                          static_cast<unsigned>(ar::crc32(0, line.data(), last + 1)));
            line = line.substr(0, last + 1) + check;
        }
        out += line + '\n';
    }
    return out + bytes.substr(start);
}

bool same(const ar::UninstallLogRecord& a, const ar::UninstallLogRecord& b)
{
    return a.recordKind == b.recordKind && a.path == b.path && a.backupPath == b.backupPath &&
           a.succeeded == b.succeeded && a.fileKind == b.fileKind && a.existedBefore == b.existedBefore &&
           a.backupSource == b.backupSource && a.keptInPlace == b.keptInPlace;
}

bool same(const ar::JournalContents& a, const ar::JournalContents& b)
{
    if (a.understood != b.understood || a.ended != b.ended || a.privateFolder != b.privateFolder ||
        a.processes.size() != b.processes.size() || a.records.size() != b.records.size() ||
        a.keys.size() != b.keys.size())
        return false;
    for (std::size_t i = 0; i < a.processes.size(); ++i)
        if (a.processes[i].id != b.processes[i].id || a.processes[i].created != b.processes[i].created)
            return false;
    for (std::size_t i = 0; i < a.records.size(); ++i)
        if (!same(a.records[i], b.records[i]))
            return false;
    for (std::size_t i = 0; i < a.keys.size(); ++i)
        if (a.keys[i].existed != b.keys[i].existed || a.keys[i].path != b.keys[i].path ||
            a.keys[i].hiveFile != b.keys[i].hiveFile)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    if (data[0] & 1)
        bytes = withChecks(bytes);

    const ar::JournalContents contents = ar::parseJournal(bytes);
    if (contents.length > bytes.size() || (contents.length > 0 && bytes[contents.length - 1] != '\n'))
        broken("the intact part does not end with a line end");
    if (contents.foreign && contents.understood)
        broken("a journal both foreign and understood");
    if (!contents.understood)
        return 0;
    if (!same(ar::parseJournal(bytes.substr(0, contents.length)), contents))
        broken("the intact part alone reads otherwise");

    std::string again = ar::formatJournalHeader();
    if (!contents.privateFolder.empty())
        again += ar::formatJournalFolder(contents.privateFolder);
    for (const ar::JournalProcess& process : contents.processes)
        again += ar::formatJournalProcess(process);
    for (std::size_t i = 0; i < contents.records.size(); ++i)
        again += ar::formatJournalRecord(i, contents.records[i]);
    for (const ar::JournalKey& key : contents.keys)
        again += ar::formatJournalKey(key);
    if (contents.ended)
        again += ar::formatJournalEnd();
    const ar::JournalContents reread = ar::parseJournal(again);
    if (reread.length != again.size() || !same(reread, contents))
        broken("what was read, written again, reads otherwise");
    return 0;
}
