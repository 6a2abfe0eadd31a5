#include "ui/start_page.h"

#include <algorithm>

#include "engine/startup.h"
#include "framework/accessibility.h"
#include "framework/app.h"
#include "product/language.h"
#include "product/product.h"
#include "support/handles.h"
#include "ui/wizard_rules.h"

CDlgStart::CDlgStart(ar::InstallContext& context) : CWizardPage(IDD_START, context)
{
}

bool CDlgStart::OnInitDialog()
{
    CWizardPage::OnInitDialog();
    fillLanguages();
    // The list is named by its label and reads the chosen language as its value.
    HWND list = languages_.hwnd();
    fw::annotateAccessible(list, {[list] { return fw::labelOf(list); },
                                  [this] {
                                      int position = languages_.selection();
                                      return position < 0 ? std::wstring() : languages_.itemText(position);
                                  }});
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
    // The flags come in the artwork's sizes; the one for the window's DPI is taken.
    const int scale = ar::wizard::nearestArtScale(fw::dpiOf(hwnd()));
    flagSize_ = {16 * scale / 100, 12 * scale / 100};
    HMODULE module = GetModuleHandleW(nullptr);
    const int current = ar::currentLanguage();
    int currentPosition = -1;
    int widest = 0;
    const fw::TextMeasure measure(hwnd(), window().font());
    flags_.clear();
    for (int language : ar::offeredLanguageOrder) {
        std::wstring name = ar::nativeLanguageName(language);
        int position = languages_.addItem(name, language);
        if (position < 0)
            continue;
        flags_.resize(static_cast<size_t>(position) + 1);
        flags_[static_cast<size_t>(position)].reset(
            static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(ar::flagIcon(language)), IMAGE_ICON,
                                          flagSize_.cx, flagSize_.cy, LR_DEFAULTCOLOR)));
        if (language == current)
            currentPosition = position;
        widest = std::max(widest, measure.width(name));
    }
    // Room for the flag and the name, whichever is taller, with a pixel above and below.
    TEXTMETRICW metrics{};
    if (HDC dc = GetDC(hwnd())) {
        HGDIOBJ old = SelectObject(dc, window().font());
        GetTextMetricsW(dc, &metrics);
        SelectObject(dc, old);
        ReleaseDC(hwnd(), dc);
    }
    const int itemHeight = std::max<int>(metrics.tmHeight, flagSize_.cy) + 2;
    languages_.setItemHeight(-1, itemHeight);
    languages_.setItemHeight(0, itemHeight);
    languages_.setDroppedWidth(widest + flagSize_.cx + 30);
    languages_.select(currentPosition);
    chosen_ = current;
}

bool CDlgStart::onDrawLanguage(const DRAWITEMSTRUCT& item)
{
    HDC dc = item.hDC;
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    FillRect(dc, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    if (item.itemID != static_cast<UINT>(-1)) {
        const int position = static_cast<int>(item.itemID);
        RECT text = item.rcItem;
        text.left += 2;
        if (static_cast<size_t>(position) < flags_.size() && flags_[static_cast<size_t>(position)]) {
            int top = item.rcItem.top + (item.rcItem.bottom - item.rcItem.top - flagSize_.cy) / 2;
            DrawIconEx(dc, text.left, top, flags_[static_cast<size_t>(position)].get(), flagSize_.cx,
                       flagSize_.cy, 0, nullptr, DI_NORMAL);
        }
        text.left += flagSize_.cx + 4;
        std::wstring name = languages_.itemText(position);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(disabled   ? COLOR_GRAYTEXT
                                     : selected ? COLOR_HIGHLIGHTTEXT
                                                : COLOR_WINDOWTEXT));
        DrawTextW(dc, name.c_str(), static_cast<int>(name.size()), &text,
                  DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
    if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT))
        DrawFocusRect(dc, &item.rcItem);
    return true;
}

void CDlgStart::onSelectionChanged()
{
    int position = languages_.selection();
    if (position < 0 || languages_.send(CB_GETDROPPEDSTATE))
        return;
    if (ar::hasInstallerTexts(static_cast<int>(languages_.itemData(position))))
        onLanguageChosen();
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
    setItemText(IDC_LANGUAGE_LABEL, ar::loadCaption(IDS_SELECT_LANGUAGE));
}

void CDlgStart::layout(int dx, int dy)
{
    item(IDC_LANGUAGE).reshape(0, 0, dx, 0);
    item(IDC_COPYRIGHT).reshape(0, 0, dx, 0);
    item(IDC_INFO).reshape(0, 0, dx, dy);
    item(IDC_STATUS).reshape(0, dy, dx, 0);
}
