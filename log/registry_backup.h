// Saving the product's uninstall key to a hive file before the installation writes
// it, and putting it back (or removing the key) when the installation rolls back.
#pragma once

#include "log/log_record.h"

#include <windows.h>

#include <string>

namespace ar {

// Switches one privilege of the process token on or off ("SeBackupPrivilege").
bool setPrivilege(const wchar_t* name, bool enable);

// Saves `key` with all its sub-keys and values into the new file `hiveFile`. On
// failure no file is left behind.
bool saveKeyToHive(HKEY key, const std::wstring& hiveFile);

// Undoes the run's changes to the uninstall key named `keyName` below
// HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall: puts back
// the content saved in the record's hive file (then deletes that file), or deletes
// the key when the run created it. A key that existed but could not be saved is
// left as it is. False when the key could not be put back or removed; the hive file
// then stays, as the only copy of the earlier key.
bool restoreUninstallKey(const UninstallLogRecord& record, const std::wstring& keyName);

// Replaces the content of HKEY_LOCAL_MACHINE\`path` (created when missing) by the
// tree saved in `hiveFile`. False when it could not; the hive file stays as it is.
bool restoreKeyFromHive(const std::wstring& path, const std::wstring& hiveFile);

} // namespace ar
