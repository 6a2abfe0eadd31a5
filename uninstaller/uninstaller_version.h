// The uninstaller's version, written once; the version resource is built from it.
#pragma once

#define AR_UNINSTALLER_VERSION 7, 6, 0, 4
#define AR_UNINSTALLER_VERSION_TEXT "7.6.0.4"
