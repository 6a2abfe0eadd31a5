// The installation run's private folder: created fresh with an access list of its
// own (Administrators and SYSTEM only, nothing inherited from the user's temporary
// folder), and held open so that it cannot be renamed or replaced while the run
// writes, checks and loads from it. What the run later loads (the DirectX set-up
// library) or moves back into the installation (backups, the saved registry key)
// lives there, out of reach of any process that a standard user runs.
#pragma once

#include <windows.h>

#include <string>

#include "support/handles.h"

namespace ar {

// The descriptor every private folder is created with, as SDDL: a protected access
// list granting full control to Administrators and SYSTEM, inherited by every file
// and folder below.
constexpr wchar_t privateFolderSddl[] = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

// A security descriptor built from privateFolderSddl (self-relative, LocalAlloc'd);
// empty on failure with the last error set.
unique_hlocal privateFolderDescriptor();

class PrivateFolder {
public:
    // Creates `path`, which must not exist yet, with the private descriptor and opens
    // it without delete sharing. False with the last error set when the folder
    // existed, could not be created, or is not a plain folder once opened.
    bool create(const std::wstring& path);

    // Lets go of the folder, so that it can be removed.
    void close() { handle_.reset(); }

    bool isOpen() const { return static_cast<bool>(handle_); }

private:
    unique_hfile handle_;
};

} // namespace ar
