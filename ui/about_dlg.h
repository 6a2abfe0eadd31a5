// The About box: the installer's own name, version and legal notice, read from
// its version resource, and the publisher's contact lines.
#pragma once

#include "framework/dialog.h"

class CAboutDlg : public fw::Dialog {
public:
    CAboutDlg();

private:
    bool OnInitDialog() override;
};
