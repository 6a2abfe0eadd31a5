// Folder tokens: destination folders in the payload begin with an angle-bracketed
// keyword (<InstallPath>, <CommonData>, ...) standing for a folder that is known
// only on the target machine.
#pragma once

#include <windows.h>

#include <string>

#include "payload/archive.h"

namespace ar {

// Replaces a leading folder token by the folder it stands for and joins the rest
// of the path onto it, one separator per element. A path without a token passes
// unchanged; a bracketed first element that is no token resolves to an empty base.
// Nothing is created or normalised. Throws unexpected_error ("compress") when a
// special folder cannot be obtained.
std::wstring resolve_folder(const std::wstring& path, const PayloadFolders& folders);

// The full path of an entry's file: its resolved folder and the source's file name.
// Only an absolute path, free of NUL characters, is accepted (unexpected_error
// otherwise): a damaged or unknown token must never send a file to wherever the
// process happens to be.
std::wstring resolve_destination(const PayloadEntry& entry, const PayloadFolders& folders);

// A special folder by CSIDL, trying `fallbackCsidl` when allowed and the first
// query gives nothing. Throws unexpected_error when neither does.
std::wstring known_folder(int csidl, bool fallbackAllowed = false, int fallbackCsidl = 0);

// The window that owns platform queries: the root owner of the active window, or
// of the thread's first captioned window, as its last active pop-up; or none.
HWND dialog_owner_window();

// True when `path` has a drive or share name and a root separator.
bool is_absolute_path(const std::wstring& path);

} // namespace ar
