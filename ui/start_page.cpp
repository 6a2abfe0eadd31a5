#include "ui/start_page.h"

#include <algorithm>

#include "engine/startup.h"
#include "framework/app.h"
#include "product/language.h"
#include "product/product.h"
#include "support/handles.h"

CDlgStart::CDlgStart(ar::InstallContext& context) : CWizardPage(IDD_START, context)
{
}

bool CDlgStart::OnInitDialog()
{
    CWizardPage::OnInitDialog();
    fillLanguages();
    return true;
}

void CDlgStart::DoDataExchange(fw::DataExchange& dx)
{
    dx.control(IDC_LANGUAGE, languages_);
    if (dx.saving())
        onLanguageChosen();
}

void CDlgStart::fillLanguages()
{
    flags_ = fw::ImageList(18, 12, ILC_COLOR24 | ILC_MASK, 8, 1);
    languages_.setImageList(flags_.get());

    HMODULE module = GetModuleHandleW(nullptr);
    const int current = ar::currentLanguage();
    int currentPosition = -1;
    int widest = 0;
    const fw::TextMeasure measure(hwnd(), window().font());
    for (int language : ar::offeredLanguageOrder) {
        int image = -1;
        ar::unique_hicon flag(static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(ar::flagIcon(language)),
                                                            IMAGE_ICON, 16, 12, LR_DEFAULTCOLOR)));
        if (flag)
            image = flags_.addIcon(flag.get());
        std::wstring name = ar::nativeLanguageName(language);
        int position = languages_.addItem(name, image, language);
        if (language == current)
            currentPosition = position;
        widest = std::max(widest, measure.width(name));
    }
    languages_.setDroppedWidth(widest + 30);
    languages_.select(currentPosition);
    chosen_ = current;
}

void CDlgStart::onLanguageChosen()
{
    int position = languages_.selection();
    if (position < 0)
        return;
    int language = static_cast<int>(languages_.itemData(position));
    if (language == chosen_)
        return;
    chosen_ = language;
    ar::setLanguage(language);
    if (!ar::hasInstallerTexts(language)) {
        fw::showMessage(ar::formatString(IDS_INSTALLER_IN_ENGLISH, {ar::product::name}),
                        MB_OK | MB_ICONINFORMATION);
        ar::setLanguage(ar::english);
    }
    // The application's name captions the message boxes: IDS_INSTALLER, " – ", the display name.
    if (fw::App* app = fw::App::current())
        app->setName(ar::applicationTitle());
    if (languageChanged_)
        languageChanged_();
}

void CDlgStart::refreshTexts()
{
    const ar::InstallContext& context = installContext();
    const std::wstring display = ar::product::displayName();
    const std::wstring next = ar::loadString(IDS_NEXT);
    std::wstring info;
    std::wstring status;
    switch (context.installState) {
    case ar::InstallState::None:
        info = ar::formatString(IDS_PRODUCT_INSTALLATION, {display});
        status = ar::formatString(IDS_CLICK_CONTINUE, {next});
        break;
    case ar::InstallState::Update:
        info = ar::formatString(IDS_UPDATE_FROM_TO, {context.installedVersionText, display});
        status = ar::formatString(IDS_CLICK_CONTINUE, {next});
        break;
    case ar::InstallState::Same:
        info = ar::formatString(IDS_ALREADY_INSTALLED, {display}) + L"\r\n" +
               ar::loadString(IDS_CONFIRM_REINSTALL);
        status = ar::formatString(IDS_CLICK_CONTINUE_OR_EXIT, {next, ar::loadString(IDS_CANCEL)});
        break;
    case ar::InstallState::NewerInstalled:
        info = ar::formatString(IDS_PRODUCT_INSTALLATION, {display}) + L"\r\n" +
               ar::formatString(IDS_NEWER_INSTALLED, {context.installedVersionText});
        status = ar::formatString(IDS_CLICK_EXIT, {ar::loadString(IDS_CANCEL)});
        break;
    }
    setItemText(IDC_INFO, info);
    setItemText(IDC_STATUS, status);
    setItemText(IDC_COPYRIGHT, ar::formatString(IDS_COPYRIGHT, {display}));
    setItemText(IDC_LANGUAGE_LABEL, ar::loadString(IDS_SELECT_LANGUAGE));
}

void CDlgStart::layout(int dx, int dy)
{
    item(IDC_LANGUAGE).reshape(0, 0, dx, 0);
    item(IDC_COPYRIGHT).reshape(0, 0, dx, 0);
    item(IDC_INFO).reshape(0, 0, dx, dy);
    item(IDC_STATUS).reshape(0, dy, dx, 0);
}
