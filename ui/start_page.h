// The Start page: the interface language, chosen from a list with flags, and
// what the installer is about to do.
#pragma once

#include <functional>

#include "framework/common_controls.h"
#include "resources/resource.h"
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
    // Takes the language chosen in the list, once the choice is made: when the list
    // closes or loses the focus, or the page is left. Arrow keys through the closed
    // list only move the selection.
    void onLanguageChosen();
    void fillLanguages();

    FW_BEGIN_MESSAGE_MAP(CWizardPage)
    FW_ON_COMMAND(IDC_LANGUAGE, CBN_CLOSEUP, onLanguageChosen)
    FW_ON_COMMAND(IDC_LANGUAGE, CBN_KILLFOCUS, onLanguageChosen)
    FW_END_MESSAGE_MAP()

    fw::ComboBoxEx languages_;
    fw::ImageList flags_;
    int chosen_ = -1; // the list's language last taken (Dutch stays Dutch here)
    std::function<void()> languageChanged_;
};
