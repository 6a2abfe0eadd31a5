#include "uninstaller/uninstall_plan.h"

#include <algorithm>

#include "support/folder_rules.h"

namespace ar {

std::vector<std::wstring> productRoots(const ProductFolders& folders)
{
    std::vector<std::wstring> roots{folders.installFolder, folders.shortcutFolder};
    roots.insert(roots.end(), folders.desktopFolders.begin(), folders.desktopFolders.end());
    for (const std::wstring& data : folders.dataFolders)
        roots.push_back(parentOf(data));
    roots.erase(std::remove_if(roots.begin(), roots.end(),
                               [](const std::wstring& root) { return !isPlainAbsolutePath(root); }),
                roots.end());
    return roots;
}

std::wstring stepRoot(const std::wstring& path, const std::vector<std::wstring>& roots)
{
    std::wstring nearest;
    std::size_t depth = 0;
    for (const std::wstring& root : roots) {
        if (!isBelow(path, root))
            continue;
        const std::size_t elements = pathElements(root)->size();
        if (elements > depth) {
            nearest = root;
            depth = elements;
        }
    }
    if (!nearest.empty())
        return nearest;
    auto elements = pathElements(path);
    return elements ? elements->front() + L'\\' : std::wstring();
}

UninstallPlan planUninstall(const std::list<UninstallLogRecord>& records, std::size_t readableRecords,
                            const ProductFolders& folders, const std::wstring& uninstaller,
                            const std::function<bool(const std::wstring&)>& exists)
{
    UninstallPlan plan;
    plan.roots = productRoots(folders);
    RecordTrust check(folders, exists);
    std::vector<const UninstallLogRecord*> trusted;
    for (const UninstallLogRecord& record : records) {
        if (trusted.size() == readableRecords || !check.accept(record))
            break;
        trusted.push_back(&record);
    }
    plan.trustedRecords = trusted.size();

    bool selfRegistration = false;
    for (const UninstallLogRecord* record : trusted) {
        if (record->recordKind == RecordKind::InstalledFile && record->succeeded && record->fileKind == 1)
            plan.mainProgram = record->path;
        selfRegistration = selfRegistration || record->recordKind == RecordKind::SelfRegistration;
        plan.removesRegistration = plan.removesRegistration || record->recordKind == RecordKind::UninstallKey;
    }
    if (selfRegistration && !plan.mainProgram.empty())
        plan.steps.push_back({UninstallAction::UndoSelfRegistration, plan.mainProgram});

    const std::wstring uninstallerFolder = parentOf(uninstaller);
    for (auto it = trusted.rbegin(); it != trusted.rend(); ++it) {
        const UninstallLogRecord& record = **it;
        switch (record.recordKind) {
        case RecordKind::CreatedFolder:
            // The folders that hold the uninstaller go after it.
            if (!isAtOrBelow(uninstallerFolder, record.path))
                plan.steps.push_back({UninstallAction::RemoveFolder, record.path});
            break;
        case RecordKind::InstalledFile:
            if (!record.succeeded)
                break;
            if (samePlainPath(record.path, uninstaller)) {
                plan.recordsUninstaller = true;
                break;
            }
            plan.steps.push_back(
                {record.fileKind == 3 ? UninstallAction::RemoveDataFile : UninstallAction::RemoveFile,
                 record.path});
            break;
        case RecordKind::MenuShortcut:
        case RecordKind::UninstallShortcut:
        case RecordKind::DesktopShortcut:
            if (record.succeeded && !record.path.empty())
                plan.steps.push_back({UninstallAction::RemoveShortcut, record.path});
            break;
        default:
            break;
        }
    }

    const auto& created = check.created();
    for (std::wstring folder = uninstallerFolder; isPlainAbsolutePath(folder); folder = parentOf(folder)) {
        bool recorded = std::any_of(created.begin(), created.end(),
                                    [&](const std::wstring& c) { return samePlainPath(c, folder); });
        if (!recorded)
            break;
        ++plan.uninstallerFolderLevels;
    }
    return plan;
}

} // namespace ar
