#include "ui/about_dlg.h"

#include "product/language.h"
#include "product/version_info.h"
#include "resources/resource.h"
#include "support/format.h"

CAboutDlg::CAboutDlg() : fw::Dialog(IDD_ABOUTBOX)
{
}

bool CAboutDlg::OnInitDialog()
{
    fw::Dialog::OnInitDialog();
    ar::VersionResourceInfo version;
    version.request = ar::VersionResourceInfo::FullText | ar::VersionResourceInfo::LegalNotice;
    ar::queryVersionResource(version);

    std::wstring format = ar::loadString(IDS_ABOUT);
    if (format.empty())
        format = window().text();
    window().setText(ar::formatMessage(format, {ar::loadString(IDS_INSTALLER)}));
    if (!version.fullText.empty())
        item(IDC_ABOUT_NAME).setText(version.fullText);
    if (!version.legalNotice.empty())
        item(IDC_ABOUT_LEGAL).setText(version.legalNotice);
    item(IDOK).setText(ar::loadCaption(IDS_OK));
    return true;
}
