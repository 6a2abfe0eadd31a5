// The installer's own version, written once; the version resource is built from it.
// The product's identity and version come from "product_version.h" (cmake/Product.cmake).
#pragma once

#include "product_version.h"

#define AR_INSTALLER_FILEVERSION 2, 2, 0, 3
#define AR_INSTALLER_FILEVERSION_TEXT "2.2.0.3"
#define AR_INSTALLER_PRODUCTVERSION 2, 2, 0, 3
#define AR_INSTALLER_PRODUCTVERSION_TEXT "2.02"
#define AR_INSTALLER_PRODUCTNAME "Install"
#define AR_INSTALLER_DESCRIPTION "Installeur " AR_PRODUCT_NAME_TEXT " " AR_PRODUCT_VERSION_LABEL_TEXT
#define AR_INSTALLER_COMPANY AR_PRODUCT_COMPANY_TEXT
#define AR_INSTALLER_FILENAME "Install" AR_PRODUCT_NAME_TEXT AR_PRODUCT_VERSION_LABEL_TEXT ".exe"
#define AR_INSTALLER_COPYRIGHT AR_PRODUCT_COPYRIGHT_TEXT
