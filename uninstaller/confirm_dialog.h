// The question before anything is removed: the product's icon, the question, and
// whether the user's data files (libraries and image) go as well.
#pragma once

#include "framework/dialog.h"

class CConfirmUninstallDlg : public fw::Dialog {
public:
    explicit CConfirmUninstallDlg(bool purge);

    // The user's choice for the data files, once the dialog ended with IDOK.
    bool purge() const { return purge_ == BST_CHECKED; }

protected:
    bool OnInitDialog() override;
    void DoDataExchange(fw::DataExchange& dx) override;

private:
    int purge_;
};
