// A page of the wizard: a child dialog that exchanges its data with the
// installation context, words its texts in the current language and stretches
// its controls when the frame gives it more room.
#pragma once

#include <string>

#include "engine/install_context.h"
#include "framework/dialog.h"

class CWizardPage : public fw::Dialog {
public:
    // `context` is the frame's: the frame owns both the page and the context.
    CWizardPage(UINT templateId, ar::InstallContext& context) : fw::Dialog(templateId), context_(context) {}

    // Sets every text of the page from the current language.
    virtual void refreshTexts() = 0;
    // Stretches the controls: `dx` is the extra width, `dy` the extra height that
    // the page received beyond its template size (in pixels).
    virtual void layout(int dx, int dy) = 0;

protected:
    void setItemText(int id, const std::wstring& text) const { item(id).setText(text); }
    // The installation context that the page shows and edits.
    ar::InstallContext& installContext() const { return context_; }

private:
    ar::InstallContext& context_;
};
