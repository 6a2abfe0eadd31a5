// How the elevated programs (the installer, its recovery and the uninstaller) touch
// the file system.
//
// The attacker: a standard user of the machine, or a program running in the
// administrator's own unelevated session. Neither can write where only
// administrators can (Program Files, C:\Windows, HKEY_LOCAL_MACHINE), but both can
// create folders in C:\ProgramData, write the user's own folders (%TEMP%, %APPDATA%,
// the user's desktop), plant links and junctions (a dangling link costs nothing),
// and swap a folder they own for a link between the moment the elevated program
// looks at a path and the moment it acts on it. Whatever such a place holds is
// input to be checked, never authority; a check by path and a later act by the same
// path is no check at all.
//
// The defences, all here:
// - Every path is acted on below a root that the program trusts (the installation
//   folder, a shell folder, the protected set-up folder), and every element below
//   that root must be a plain file or folder: a link or junction anywhere below it
//   ends the act. It is opened once, without following a link, and the handle is
//   checked (kind, a single link for a file, and its final path, which shows any
//   link on the way); then the act goes through that handle: the access list is
//   set on it, it is deleted or renamed through it.
// - New files are created with CREATE_NEW: a name that exists, or a dangling link,
//   is never written through.
// - A folder is trusted as a place for the elevated program's own state only when
//   its owner and its whole access list, read from the held handle, leave nobody
//   but administrators and SYSTEM a way to change what is in it
//   (judgeFolderDescriptor).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/handles.h"

namespace ar {

enum class NodeKind { File, Folder };

// The access lists that the elevated programs give what they create, as SDDL.
// Administrators and SYSTEM full control, inherited by everything below, nothing
// inherited from above; the second also lets the Users group read and run.
constexpr wchar_t adminsOnlySddl[] = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
constexpr wchar_t adminsWriteUsersReadSddl[] = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";

// A security descriptor built from `sddl` (self-relative, LocalAlloc'd); empty on
// failure with the last error set.
unique_hlocal descriptorFromSddl(const wchar_t* sddl);

// Why a folder cannot be trusted, or None.
enum class FolderTrust {
    Trusted,
    OwnerNotTrusted,   // owned by someone other than Administrators, SYSTEM or TrustedInstaller
    OthersCanChangeIt, // an entry lets someone else add, delete, rename or re-permission
    NoAccessList,      // a null access list: everyone may do everything
};

// Judges a folder's descriptor (owner and access list) for the elevated program's
// own state. `ownAccount`, when given, is also trusted: the account that this
// process's token gives as owner to what it creates where that is not the
// Administrators group (under Wine; a system without split tokens). Deny entries
// only take away and are ignored; CREATOR OWNER stands for whoever creates a child,
// which nobody else can.
FolderTrust judgeFolderDescriptor(PSECURITY_DESCRIPTOR descriptor, PSID ownAccount = nullptr);

// The account that judgeFolderDescriptor also trusts for this process (see there);
// empty when the token makes Administrators the owner.
std::vector<BYTE> ownTrustedAccount();

// The identity an access entry names, or nullptr for a kind of entry without one.
PSID aceSid(ACE_HEADER* ace);

// Reads the owner and access list from `handle` (opened with READ_CONTROL) and
// judges them with this process's own account.
FolderTrust judgeFolder(HANDLE handle);

// Opens `path`, which lies at or below `root`, without following a link. Empty,
// with the last error set, when `path` is not below `root` by its elements
// (ERROR_BAD_PATHNAME), is missing, is not of `kind` (ERROR_DIRECTORY), is a link
// or reached through one below `root` (errorStoppedOnLink), or is a file with
// more than one name (ERROR_TOO_MANY_LINKS). `root` itself may lie behind links:
// it is trusted as it resolves.
unique_hfile openBelow(const std::wstring& root, const std::wstring& path, NodeKind kind, DWORD access,
                       DWORD share = FILE_SHARE_READ);

// Creates the file `path` below `root` (CREATE_NEW, never through a link), with
// `descriptor` (nullptr: inherited), and checks it as openBelow does. A file created
// through a link planted in its folder is deleted again.
unique_hfile createBelow(const std::wstring& root, const std::wstring& path, DWORD access, DWORD share,
                         PSECURITY_DESCRIPTOR descriptor = nullptr);

// Creates the folder `path` below `root` with `descriptor` and opens it as
// openBelow does (ERROR_ALREADY_EXISTS when there was one).
unique_hfile createFolderBelow(const std::wstring& root, const std::wstring& path, DWORD access,
                               PSECURITY_DESCRIPTOR descriptor);

// The path that the file system gives `handle`, "C:\..." or "\\server\share\...";
// empty on failure.
std::wstring finalPathOf(HANDLE handle);

// Acts through a handle opened with the access each needs.
// Clears the read-only attribute (FILE_WRITE_ATTRIBUTES), then marks the file or
// empty folder for deletion (DELETE): it goes when the last handle closes.
bool deleteThrough(HANDLE handle);
// Renames (DELETE) to `target`, a full path on the same volume.
bool renameThrough(HANDLE handle, const std::wstring& target, bool replace);
// Stores the access list of `sddl` (WRITE_DAC) and, when `takeOwnership`, makes
// Administrators the owner (WRITE_OWNER). ERROR_SUCCESS or the failure.
DWORD setAccessThrough(HANDLE handle, const wchar_t* sddl, bool takeOwnership);

// Deletes `path` below `root` through a checked handle, read-only or not; true
// when it is gone (or was never there). A link is never followed: a link in its
// place is refused, and so is a path that leads through one.
bool deleteBelow(const std::wstring& root, const std::wstring& path, NodeKind kind = NodeKind::File);

// The file system's "stopped on a symbolic link" (not in every SDK's headers).
constexpr DWORD errorStoppedOnLink = 681;

// Access that deleting, renaming and re-permissioning through a handle need.
constexpr DWORD deleteAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;

} // namespace ar
