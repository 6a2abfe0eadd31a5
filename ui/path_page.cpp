#include "ui/path_page.h"

#include "product/language.h"
#include "product/product.h"
#include "engine/startup.h"
#include "engine/disk_space.h"
#include "engine/installation.h"
#include "framework/window.h"
#include "support/folder_rules.h"
#include "support/format.h"
#include "ui/folder_picker.h"

namespace {

// The page's text for a folder that cannot be the installation folder.
std::wstring folderProblemText(ar::FolderProblem problem, const std::wstring& folder)
{
    switch (problem) {
    case ar::FolderProblem::None:
        break;
    case ar::FolderProblem::Empty:
    case ar::FolderProblem::NotFullPath:
        return ar::formatString(IDS_FOLDER_NOT_FULL_PATH, {ar::defaultInstallFolder()});
    case ar::FolderProblem::ForbiddenCharacter:
        return ar::loadString(IDS_FOLDER_FORBIDDEN_CHARACTER);
    case ar::FolderProblem::FileInTheWay:
        return ar::formatString(IDS_FOLDER_IS_FILE, {folder});
    }
    return {};
}

// What the installation into `folder` takes on each volume; nothing when the
// payload's destinations cannot be resolved (the run will say why).
std::vector<ar::VolumeSpace> spaceFor(const ar::InstallContext& context, const std::wstring& folder)
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    try {
        return ar::installationSpace(context.payloadEntries, ar::payloadFolders(folder, temp), context);
    } catch (const std::exception&) {
        return {};
    }
}

} // namespace

CDlgPath::CDlgPath(ar::InstallContext& context) : CWizardPage(IDD_PATH, context)
{
}

bool CDlgPath::OnInitDialog()
{
    CWizardPage::OnInitDialog();
    if (installContext().installState != ar::InstallState::None) {
        item(IDC_FOLDER_PROMPT).enable(false);
        item(IDC_BROWSE).enable(false);
        fw::Edit(item(IDC_FOLDER).hwnd()).setReadOnly(true);
    }
    return true;
}

void CDlgPath::DoDataExchange(fw::DataExchange& dx)
{
    ar::InstallContext& context = installContext();
    if (dx.loading())
        folder_ = context.installFolder;
    dx.text(IDC_FOLDER, folder_);
    dx.maxChars(IDC_FOLDER, folder_, ar::maxPathChars);
    // The installed folder of an update is shown, not chosen.
    if (dx.saving() && !dx.failed() && context.installState == ar::InstallState::None) {
        std::wstring problem = folderProblemText(ar::folderProblem(folder_), folder_);
        if (!problem.empty())
            dx.fail(IDC_FOLDER, problem);
    }
    if (dx.saving() && !dx.failed())
        for (const ar::VolumeSpace& space : spaceFor(installContext(), folder_))
            if (!space.fits()) {
                dx.fail(IDC_FOLDER, ar::notEnoughSpaceText(space));
                break;
            }
    if (dx.saving() && !dx.failed())
        context.installFolder = folder_;
}

void CDlgPath::onFolderChanged()
{
    // What the folder's volume must hold, and holds free.
    std::wstring folder = item(IDC_FOLDER).text();
    std::wstring text;
    if (ar::folderProblem(folder) == ar::FolderProblem::None) {
        const std::wstring volume = ar::volumeOf(folder);
        for (const ar::VolumeSpace& space : spaceFor(installContext(), folder))
            if (_wcsicmp(space.volume.c_str(), volume.c_str()) == 0)
                text = ar::formatString(IDS_SPACE_ON_VOLUME, {space.volume, ar::byteSizeText(space.needed),
                                                              ar::byteSizeText(space.available)});
    }
    setItemText(IDC_SPACE, text);
}

void CDlgPath::refreshTexts()
{
    setItemText(IDC_FOLDER_GROUP, ar::loadString(IDS_FOLDER_SELECTION));
    setItemText(IDC_FOLDER_PROMPT,
                ar::formatMessage(ar::loadCaption(IDS_SELECT_FOLDER), {ar::product::name}));
    setItemText(IDC_BROWSE, ar::loadCaption(IDS_BROWSE));
    setItemText(IDC_STATUS, ar::formatString(IDS_CLICK_CONTINUE, {ar::loadString(IDS_NEXT)}));
    onFolderChanged();
}

void CDlgPath::onBrowse()
{
    updateData(true);
    ar::InstallContext& context = installContext();
    std::wstring title = ar::formatString(IDS_SELECT_FOLDER, {ar::product::name});
    std::wstring picked = ar::pickFolder(context.installFolder, ar::product::productKey(), title);
    if (!picked.empty()) {
        context.installFolder = picked;
        updateData(false);
    }
}

void CDlgPath::layout(int dx, int dy)
{
    for (int id : {IDC_FOLDER_GROUP, IDC_FOLDER_PROMPT, IDC_FOLDER})
        item(id).reshape(0, 0, dx, 0);
    item(IDC_BROWSE).reshape(dx, 0, 0, 0);
    item(IDC_SPACE).reshape(0, 0, dx, 0);
    item(IDC_STATUS).reshape(0, dy, dx, 0);
}
