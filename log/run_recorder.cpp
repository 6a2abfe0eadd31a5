#include "log/run_recorder.h"

#include "log/file_placement.h"
#include "log/log_digest.h"
#include "log/log_format.h"
#include "log/record_merge.h"
#include "log/registry_backup.h"
#include "log/rollback.h"
#include "product/product.h"
#include "support/elevated_files.h"
#include "support/handles.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace ar {

namespace {

const EarlierLog noEarlierLog;

constexpr DWORD logFileAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool isLinkName(const std::wstring& path)
{
    return path.size() > 4 && _wcsicmp(path.c_str() + path.size() - 4, L".lnk") == 0;
}

bool writeText(HANDLE file, const void* data, std::size_t bytes)
{
    DWORD written = 0;
    return WriteFile(file, data, static_cast<DWORD>(bytes), &written, nullptr) && written == bytes;
}

bool writeLine(HANDLE file, const std::wstring& line)
{
    return writeText(file, line.data(), line.size() * sizeof(wchar_t));
}

[[noreturn]] void throwKeepingFile(DWORD error, const char* what)
{
    throw std::system_error(static_cast<int>(error ? error : ERROR_GEN_FAILURE), std::system_category(),
                            what);
}

} // namespace

RunRecorder::RunRecorder(const EarlierLog& earlier, RecordingRules rules)
    : earlier_(earlier), rules_(std::move(rules))
{
}

RunRecorder::RunRecorder() : RunRecorder(noEarlierLog) {}

UninstallLogRecord& RunRecorder::append(RecordKind kind)
{
    pending_ = true;
    UninstallLogRecord& record = records_.emplace_back();
    record.recordKind = kind;
    return record;
}

void RunRecorder::ensureFolders(const std::wstring& folder)
{
    std::wstring buffer = folder;
    const wchar_t* start = buffer.c_str();
    const wchar_t* component = PathFindNextComponentW(start); // after the drive
    while (component && *component) {
        const wchar_t* next = PathFindNextComponentW(component);
        if (!next)
            break;
        std::size_t end = static_cast<std::size_t>(next - start);
        if (end > 0 && buffer[end - 1] == L'\\')
            --end;
        std::wstring prefix = buffer.substr(0, end);
        if (!PathIsDirectoryW(prefix.c_str())) {
            // Journaled before it is made: an interrupted run removes it if it is there.
            recordFolder(prefix, false);
            journalLast();
            const wchar_t* access = rules_.newFolderAccess ? rules_.newFolderAccess(prefix) : nullptr;
            unique_hlocal descriptor = access ? descriptorFromSddl(access) : unique_hlocal();
            SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.get(), FALSE};
            if ((access && !descriptor) ||
                !CreateDirectoryW(prefix.c_str(), descriptor ? &attributes : nullptr)) {
                records_.pop_back();
                return;
            }
            SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHW, prefix.c_str(), nullptr);
        } else if (rules_.productFolder) {
            // Each existing folder is looked at once.
            std::wstring key = prefix;
            CharLowerBuffW(key.data(), static_cast<DWORD>(key.size()));
            if (existingFolders_.insert(std::move(key)).second && rules_.productFolder(prefix)) {
                recordFolder(std::move(prefix), true);
                journalLast();
            }
        }
        component = next;
    }
}

void RunRecorder::recordFolder(std::wstring folder, bool existed)
{
    UninstallLogRecord& record = append(RecordKind::CreatedFolder);
    record.path = std::move(folder);
    record.succeeded = true;
    record.existedBefore = existed;
}

void RunRecorder::recordFile(const std::wstring& path, std::int32_t fileKind, bool keep)
{
    pending_ = true;
    std::wstring parent = path;
    if (PathRemoveFileSpecW(parent.data()))
        ensureFolders(parent.c_str());

    UninstallLogRecord& record = append(RecordKind::InstalledFile);
    record.path = path;
    record.fileKind = fileKind;

    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        journalLast();
        return;
    }
    record.existedBefore = true;
    record.backupSource = path;
    if (keep) {
        // Nothing is written over what is kept, so there is nothing to back up.
        record.keptInPlace = true;
        journalLast();
        return;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        journalLast();
        throwKeepingFile(ERROR_ALREADY_EXISTS, "a folder stands where a file must be installed");
    }
    record.backupPath = backUpLast(path, false);
    if (record.backupPath.empty())
        throwKeepingFile(GetLastError(), "an existing file could not be moved away before it is replaced");
}

void RunRecorder::recordShortcut(int which, const std::wstring& folder, const std::wstring& link)
{
    pending_ = true;
    ensureFolders(folder);
    RecordKind kind = which == 0   ? RecordKind::MenuShortcut
                      : which == 1 ? RecordKind::UninstallShortcut
                                   : RecordKind::DesktopShortcut;
    UninstallLogRecord& record = append(kind);

    auto isFile = [](const std::wstring& path) {
        DWORD attributes = GetFileAttributesW(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    };
    // A file where the new link goes is saved first: saving the earlier link as well
    // would need a second backup, and that link is then simply left where it is.
    std::wstring replaced;
    if (!link.empty() && isFile(link)) {
        replaced = link;
    } else {
        auto earlier = std::find_if(earlier_.records().begin(), earlier_.records().end(),
                                    [kind](const UninstallLogRecord& r) { return r.recordKind == kind; });
        // Only a link is ever moved for an earlier link.
        if (earlier != earlier_.records().end() && isLinkName(earlier->path) && isFile(earlier->path))
            replaced = earlier->path;
    }
    if (replaced.empty()) {
        journalExpecting(link);
        return;
    }
    record.existedBefore = true;
    record.backupSource = replaced;
    record.backupPath = backUpLast(replaced, false);
    journalExpecting(link);
}

void RunRecorder::recordUninstallKey(HKEY existingKey)
{
    UninstallLogRecord& record = append(RecordKind::UninstallKey);
    if (!existingKey) {
        journalLast();
        return;
    }
    record.existedBefore = true;
    if (rules_.journal) {
        rules_.journal->saveKey(records_.size() - 1, record, existingKey);
        return;
    }
    std::wstring hive = backup_to_temp(std::nullopt, false, rules_.backupFolder);
    if (!hive.empty() && saveKeyToHive(existingKey, hive))
        record.backupPath = std::move(hive);
}

void RunRecorder::recordSelfRegistration(const std::wstring& program)
{
    append(RecordKind::SelfRegistration).path = program;
    journalLast();
}

void RunRecorder::recordDirectXSetup()
{
    append(RecordKind::DirectXSetup);
    journalLast();
}

void RunRecorder::journalLast()
{
    if (rules_.journal)
        rules_.journal->write(records_.size() - 1, records_.back());
}

std::wstring RunRecorder::backUpLast(const std::wstring& source, bool copy)
{
    if (!rules_.journal)
        return backup_to_temp(source, copy, rules_.backupFolder);
    UninstallLogRecord& record = records_.back();
    rules_.journal->backUp(records_.size() - 1, record, source, copy);
    return record.backupPath;
}

void RunRecorder::journalExpecting(const std::wstring& link)
{
    // The link is created before its path is committed: the journal names it from
    // the start, when nothing else is there, so that an interrupted run removes it.
    if (!rules_.journal || link.empty() || GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES) {
        journalLast();
        return;
    }
    UninstallLogRecord expected = records_.back();
    expected.path = link;
    rules_.journal->write(records_.size() - 1, expected);
}

void RunRecorder::commit(bool succeeded, const std::optional<std::wstring>& path)
{
    if (!pending_ || records_.empty())
        return;
    pending_ = false;
    records_.back().succeeded = succeeded;
    if (path) {
        records_.back().path = *path;
        // Only a path changes what undoing the record does.
        journalLast();
    }
}

std::vector<RollbackFailure> RunRecorder::rollback()
{
    existingFolders_.clear();
    return undoRecords(records_);
}

bool RunRecorder::writeLog(const std::wstring& file, const std::wstring& installFolder,
                           const std::wstring& shortcutFolder, std::wstring* digest)
{
    // The log file is the journal's, not the log's: a run ended from here on puts
    // the earlier log back (or removes the new one), as it does the files it names.
    if (rules_.journal) {
        UninstallLogRecord self;
        self.recordKind = RecordKind::InstalledFile;
        self.path = file;
        if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) {
            rules_.journal->write(records_.size(), self);
        } else {
            self.existedBefore = true;
            rules_.journal->backUp(records_.size(), self, file, true);
        }
    }
    records_ = mergeRecords(earlier_.records(), std::move(records_), fileOnDisk);
    const bool result =
        writeUninstallLog(file, {earlier_.product(), installFolder, shortcutFolder}, records_, digest);
    // A journal keeps the backups until the run has ended (what follows the log, its
    // digest on record, is undone with the rest until then).
    if (!rules_.journal)
        discardBackups();
    return result;
}

void RunRecorder::discardBackups()
{
    for (UninstallLogRecord& record : records_) {
        if (!record.backupPath.empty()) {
            deleteFile(record.backupPath);
            record.backupPath.clear();
        }
    }
}

bool writeUninstallLog(const std::wstring& file, const LogHeader& header, LogRecords& records,
                       std::wstring* digest)
{
    bool result = false;
    if (digest)
        digest->clear();
    // By name: the log lies beside the installed uninstaller, in the installation folder,
    // which only administrators can change (Program Files, or the list the run gives a
    // folder outside it), so nobody else can have put a link there.
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    unique_hfile out(CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out)
        return false;
    static constexpr unsigned char byteOrderMark[] = {0xFF, 0xFE};
    result = writeText(out.get(), byteOrderMark, sizeof byteOrderMark);
    for (const std::wstring& line : formatLogHeader(product::displayName(), header.previousProduct,
                                                    header.installFolder, header.shortcutFolder))
        result = writeLine(out.get(), line) && result;
    std::size_t number = 0;
    for (UninstallLogRecord& record : records) {
        if (record.recordKind == RecordKind::UninstallKey)
            record.path = uninstallKeyText();
        else if (record.recordKind == RecordKind::SelfRegistration)
            record.path = selfRegistrationText;
        result = writeLine(out.get(), formatRecordLine(number++, record)) && result;
    }
    // The digest is taken from the file as it lies on the disk, read back through
    // the handle that nobody else could open meanwhile.
    if (result && digest)
        *digest = digestOfOpenFile(out.get());
    out.reset();
    SetFileAttributesW(file.c_str(), logFileAttributes);
    return result;
}

} // namespace ar
