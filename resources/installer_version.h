// The installer's own version, written once; the version resource is built from it.
#pragma once

#define AR_INSTALLER_FILEVERSION 2, 2, 0, 3
#define AR_INSTALLER_FILEVERSION_TEXT "2.2.0.3"
#define AR_INSTALLER_PRODUCTVERSION 2, 2, 0, 3
#define AR_INSTALLER_PRODUCTVERSION_TEXT "2.02"
#define AR_INSTALLER_PRODUCTNAME "Install"
#define AR_INSTALLER_DESCRIPTION "Installeur Pelorium 7.06"
#define AR_INSTALLER_COMPANY "Ardenvale"
#define AR_INSTALLER_FILENAME "InstallPelorium7.06.exe"
#define AR_INSTALLER_COPYRIGHT "Copyright © 2009-2026 Ardenvale. All rights reserved."
