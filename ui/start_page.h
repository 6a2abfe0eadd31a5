// The Start page: the interface language, chosen from a list with flags, and
// what the installer is about to do.
#pragma once

#include <functional>
#include <vector>

#include "framework/window.h"
#include "resources/resource.h"
#include "support/handles.h"
#include "ui/wizard_page.h"

class CDlgStart : public CWizardPage {
public:
    explicit CDlgStart(ar::InstallContext& context);

    // Called after the language changed, to re-word the whole wizard.
    void setLanguageChangedHandler(std::function<void()> handler) { languageChanged_ = std::move(handler); }

    void refreshTexts() override;
    void layout(int dx, int dy) override;

private:
    bool OnInitDialog() override;
    void DoDataExchange(fw::DataExchange& dx) override;
    // Takes the language chosen in the list as the choice changes with the arrow keys
    // through the closed list. A language without installer texts asks whether to go
    // on in English, so it is taken only once the choice stays: when the focus
    // leaves the list or the page is left, as for the open list when it closes.
    void onSelectionChanged();
    void onLanguageChosen();
    void fillLanguages();
    // Draws an item of the list: its flag, then its name.
    bool onDrawLanguage(const DRAWITEMSTRUCT& item);

    FW_BEGIN_MESSAGE_MAP(CWizardPage)
    FW_ON_COMMAND(IDC_LANGUAGE, CBN_SELCHANGE, onSelectionChanged)
    FW_ON_COMMAND(IDC_LANGUAGE, CBN_CLOSEUP, onLanguageChosen)
    FW_ON_COMMAND(IDC_LANGUAGE, CBN_KILLFOCUS, onLanguageChosen)
    FW_ON_WM_DRAWITEM(IDC_LANGUAGE, onDrawLanguage)
    FW_END_MESSAGE_MAP()

    fw::ComboBox languages_;
    std::vector<ar::unique_hicon> flags_; // by the list's positions, drawn for the window's DPI
    SIZE flagSize_{16, 12};
    int chosen_ = -1; // the list's language last taken (Dutch stays Dutch here)
    std::function<void()> languageChanged_;
};
