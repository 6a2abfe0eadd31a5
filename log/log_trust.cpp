#include "log/log_trust.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <optional>
#include <utility>

#include "product/product.h"
#include "support/path_rules.h"
#include "support/format.h"
#include "support/shell_folders.h"

namespace ar {
namespace {

bool endsWithLink(const std::wstring& path)
{
    return path.size() > 4 && equalIgnoringCase(path.substr(path.size() - 4), L".lnk");
}

bool isBelowAny(const std::wstring& path, const std::vector<std::wstring>& folders)
{
    return std::any_of(folders.begin(), folders.end(),
                       [&](const std::wstring& f) { return isBelow(path, f); });
}

bool beginsWithProductName(const std::wstring& name)
{
    const std::size_t length = wcslen(product::name);
    return name.size() >= length && equalIgnoringCase(name.substr(0, length), product::name);
}

// An element of `path`, after those of `folder` and before its last one, begins with
// the product's name: the path lies within a product-named folder below `folder`.
bool withinProductNamedFolder(const std::wstring& path, const std::wstring& folder, bool directlyBelow)
{
    auto names = namesBelow(path, folder);
    if (!names || names->size() < 2)
        return false;
    const std::size_t last = directlyBelow ? 1 : names->size() - 1;
    for (std::size_t i = 0; i < last; ++i)
        if (beginsWithProductName((*names)[i]))
            return true;
    return false;
}

bool isDirectlyIn(const std::wstring& path, const std::wstring& folder)
{
    return isBelow(path, folder) && samePlainPath(parentOf(path), folder);
}

} // namespace

RecordTrust::RecordTrust(const ProductFolders& folders, std::function<bool(const std::wstring&)> exists)
    : folders_(folders), exists_(std::move(exists))
{
    roots_ = folders.dataFolders;
    roots_.insert(roots_.end(), folders.desktopFolders.begin(), folders.desktopFolders.end());
    roots_.push_back(folders.installFolder);
    roots_.push_back(folders.shortcutFolder);
}

bool RecordTrust::accept(const UninstallLogRecord& record)
{
    switch (record.recordKind) {
    case RecordKind::CreatedFolder:
        return acceptFolder(record.path);
    case RecordKind::InstalledFile:
        return !record.succeeded || acceptFile(record.path);
    case RecordKind::MenuShortcut:
    case RecordKind::UninstallShortcut:
    case RecordKind::DesktopShortcut:
        return !record.succeeded || record.path.empty() ||
               acceptShortcut(record.path, record.recordKind == RecordKind::DesktopShortcut);
    case RecordKind::UninstallKey:
    case RecordKind::SelfRegistration:
    case RecordKind::DirectXSetup:
        return true;
    }
    return false;
}

bool RecordTrust::acceptFolder(const std::wstring& path)
{
    if (!isPlainAbsolutePath(path))
        return false;
    if (pathElements(path)->size() < 2)
        return false; // a drive or share root is never created
    bool related = std::any_of(roots_.begin(), roots_.end(), [&](const std::wstring& root) {
        return isAtOrBelow(path, root) || isAtOrBelow(root, path);
    });
    if (!related && exists_(path)) {
        // Only the installer's own log may name a folder apart from the product's
        // folders of today: the Start-menu folder of an earlier installation,
        // carried over by an update. It is removed when empty and grants nothing.
        if (!folders_.logVerified)
            return false;
        created_.push_back(path);
        return true;
    }
    created_.push_back(path);
    if (!folders_.logVerified)
        return true; // grants nothing below it
    // A folder above the product's folders (D:\Apps above D:\Apps\Pelorium)
    // holds more than the product: what lies in it needs a closer licence.
    bool above = std::any_of(roots_.begin(), roots_.end(),
                             [&](const std::wstring& root) { return isBelow(root, path); });
    if (!above)
        licensing_.push_back(path);
    return true;
}

bool RecordTrust::acceptFile(const std::wstring& path) const
{
    if (!isPlainAbsolutePath(path))
        return false;
    if (!folders_.logVerified) {
        auto within = [&](const std::vector<std::wstring>& bases, bool directlyBelow) {
            return std::any_of(bases.begin(), bases.end(), [&](const std::wstring& base) {
                return withinProductNamedFolder(path, base, directlyBelow);
            });
        };
        return isBelow(path, folders_.installFolder) || within(folders_.dataFolders, false) ||
               within(folders_.desktopFolders, true) || !exists_(path);
    }
    return isBelow(path, folders_.installFolder) || isBelowAny(path, folders_.dataFolders) ||
           isBelowAny(path, licensing_) || !exists_(path);
}

bool RecordTrust::acceptShortcut(const std::wstring& path, bool onDesktop) const
{
    if (!isPlainAbsolutePath(path) || !endsWithLink(path))
        return false;
    if (!folders_.logVerified) {
        if (!onDesktop)
            return isDirectlyIn(path, folders_.shortcutFolder) || !exists_(path);
        const bool directlyOnDesktop =
            std::any_of(folders_.desktopFolders.begin(), folders_.desktopFolders.end(),
                        [&](const std::wstring& desktop) { return isDirectlyIn(path, desktop); });
        return (directlyOnDesktop && beginsWithProductName(path.substr(path.find_last_of(L"\\/") + 1))) ||
               !exists_(path);
    }
    const bool inPlace =
        onDesktop ? isBelowAny(path, folders_.desktopFolders) : isBelow(path, folders_.shortcutFolder);
    // A link of an earlier installation lies directly in the folder that it made.
    const bool inCreated = std::any_of(created_.begin(), created_.end(),
                                       [&](const std::wstring& folder) { return isDirectlyIn(path, folder); });
    return inPlace || inCreated || isBelowAny(path, licensing_) || !exists_(path);
}

std::size_t trustedRecordCount(const std::list<UninstallLogRecord>& records, std::size_t readable,
                               const ProductFolders& folders,
                               const std::function<bool(const std::wstring&)>& exists)
{
    RecordTrust trust(folders, exists);
    std::size_t count = 0;
    for (const UninstallLogRecord& record : records) {
        if (count == readable || !trust.accept(record))
            break;
        ++count;
    }
    return count;
}

LogShape logShape(const std::string& bytes)
{
    LogShape shape;
    const bool utf16 = bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
                       static_cast<unsigned char>(bytes[1]) == 0xFE;
    const std::size_t unit = utf16 ? 2 : 1;
    std::size_t begin = utf16 ? 2 : 0;
    std::size_t end = begin + (bytes.size() - begin) / unit * unit;
    bool open = false; // a line has begun and not ended
    bool carriageReturn = false;
    for (std::size_t i = begin; i < end; i += unit) {
        unsigned value = static_cast<unsigned char>(bytes[i]);
        if (utf16)
            value |= static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        if (value == 0x0A) {
            ++shape.lines;
            shape.endsWithLineEnd = carriageReturn;
            open = false;
        } else {
            open = true;
            shape.endsWithLineEnd = false;
        }
        carriageReturn = value == 0x0D;
    }
    // Half a UTF-16 unit at the end is a cut-off line too.
    if (open || end != bytes.size()) {
        if (open)
            ++shape.lines;
        shape.endsWithLineEnd = false;
    }
    return shape;
}

std::size_t recordsFromWholeLines(const LogShape& shape, std::size_t recordsRead)
{
    if (!shape.endsWithLineEnd && recordsRead > 0 && shape.lines == logHeaderLines + recordsRead)
        return recordsRead - 1;
    return recordsRead;
}

bool wholeLogRead(const LogShape& shape, std::size_t recordsRead)
{
    return shape.endsWithLineEnd && shape.lines == logHeaderLines + recordsRead;
}

std::vector<std::wstring> companyDataFolders()
{
    std::vector<std::wstring> folders;
    for (int csidl : {CSIDL_COMMON_APPDATA, CSIDL_APPDATA})
        if (std::wstring base = shellFolder(csidl); !base.empty())
            folders.push_back(base + L'\\' + product::companyName);
    return folders;
}

bool isProductFolder(const std::wstring& folder, const std::vector<std::wstring>& dataFolders,
                     const std::wstring& installFolder, const std::wstring& menuFolder)
{
    std::vector<std::wstring> ownFolders{installFolder};
    if (!menuFolder.empty())
        ownFolders.push_back(menuFolder);
    auto holds = [&](const std::wstring& root) { return isAtOrBelow(folder, root); };
    if (std::any_of(ownFolders.begin(), ownFolders.end(), holds) ||
        std::any_of(dataFolders.begin(), dataFolders.end(), holds))
        return true;
    auto path = pathElements(folder);
    return path && path->size() >= 2 && equalIgnoringCase(path->back(), product::companyName) &&
           std::any_of(ownFolders.begin(), ownFolders.end(),
                       [&](const std::wstring& root) { return samePlainPath(parentOf(root), folder); });
}

} // namespace ar
