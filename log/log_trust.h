// How far an uninstall log may be believed. The log lies in the installation
// folder, which a standard user may be able to change, and the programs that act on
// it (the uninstaller, an update that carries earlier records over) run elevated.
// So the log is evidence, never authority: what its records may remove or move is
// bounded by places that only administrators can write (see ProductFolders), and by
// the product's identity. The rules themselves are described in
// uninstaller/uninstall_plan.h.
#pragma once

#include <cstddef>
#include <functional>
#include <list>
#include <string>
#include <vector>

#include "log/log_record.h"
#include "support/path_rules.h"

namespace ar {

// The number of lines in a log file and whether its last line is complete.
struct LogShape {
    std::size_t lines = 0;
    bool endsWithLineEnd = false;
};

// The shape of a log file's bytes: UTF-16LE after a byte-order mark, else 8-bit text.
LogShape logShape(const std::string& bytes);

// The header takes the first six lines of a log.
constexpr std::size_t logHeaderLines = 6;

// How many of the `recordsRead` records came from whole lines: the writer ends
// every line with CR LF, so a last line without one was cut off.
std::size_t recordsFromWholeLines(const LogShape& shape, std::size_t recordsRead);

// Whether the reader took in every line of the file.
bool wholeLogRead(const LogShape& shape, std::size_t recordsRead);

// The folders in which the product's files may lie.
struct ProductFolders {
    std::wstring installFolder;               // holds the uninstaller and its log
    std::wstring shortcutFolder;              // the recorded Start-menu folder (may be empty)
    std::vector<std::wstring> dataFolders;    // the company's folders below the application-data folders
    std::vector<std::wstring> desktopFolders; // the common and the user's desktop
    // The log's digest matches the one recorded by the installer; otherwise only the
    // conservative rules apply.
    bool logVerified = false;
};

// Decides record by record, in file order, whether a record may be acted upon.
class RecordTrust {
public:
    // `exists` tells whether anything is at a path: a record naming nothing cannot do
    // harm and is never refused.
    RecordTrust(const ProductFolders& folders, std::function<bool(const std::wstring&)> exists);

    // Whether the record may be acted upon; a folder it creates counts from then on.
    bool accept(const UninstallLogRecord& record);

    // Every folder that the accepted records created.
    const std::vector<std::wstring>& created() const { return created_; }

private:
    bool acceptFolder(const std::wstring& path);
    bool acceptFile(const std::wstring& path) const;
    bool acceptShortcut(const std::wstring& path, bool onDesktop) const;

    const ProductFolders& folders_;
    std::function<bool(const std::wstring&)> exists_;
    std::vector<std::wstring> roots_;
    std::vector<std::wstring> created_;   // every folder that the log created
    std::vector<std::wstring> licensing_; // those of them whose content is the product's
};

// How many of `records`, counted from the first and at most `readable`, are trusted:
// the first record that fails its rule ends the trust.
std::size_t trustedRecordCount(const std::list<UninstallLogRecord>& records, std::size_t readable,
                               const ProductFolders& folders,
                               const std::function<bool(const std::wstring&)>& exists);

// The company's folders below the common and the user's application-data folders
// ("C:\ProgramData\Ardenvale"), where the product keeps its data files.
std::vector<std::wstring> companyDataFolders();

// Whether the existing `folder` is one of the product's own, for a reinstallation
// that has no earlier log to say which folders it made: at or below the installation
// folder, the Start-menu folder (when not empty) or one of `dataFolders` (see
// companyDataFolders), or the company's folder that directly holds the installation
// or the Start-menu folder.
bool isProductFolder(const std::wstring& folder, const std::vector<std::wstring>& dataFolders,
                     const std::wstring& installFolder, const std::wstring& menuFolder);

} // namespace ar
