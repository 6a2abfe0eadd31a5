// A page of the wizard: a child dialog that exchanges its data with the
// installation context, words its texts in the current language and stretches
// its controls when the frame gives it more room.
#pragma once

#include <string>

#include "framework/dialog.h"

class CWizardPage : public fw::Dialog {
public:
    using fw::Dialog::Dialog;

    // Sets every text of the page from the current language.
    virtual void refreshTexts() = 0;
    // Stretches the controls: `dx` is the extra width, `dy` the extra height that
    // the page received beyond its template size (in pixels).
    virtual void layout(int dx, int dy) = 0;

protected:
    void setItemText(int id, const std::wstring& text) const { item(id).setText(text); }
};
