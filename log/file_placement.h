// File operations with which the installation puts files in place and keeps what
// it displaces: backups to fresh temporary names and the Users group's access to
// shared data files.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace ar {

// Moves (copy false) or copies (copy true) `file` to a fresh temporary name in
// `folder` (the installation run's private folder; the user's temporary folder when
// empty), keeping its attributes, and returns that name. Without a file it returns a
// fresh temporary name under which no file exists. Empty on failure (the thread's
// last error tells why); a folder is never backed up.
std::wstring backup_to_temp(const std::optional<std::wstring>& file, bool copy,
                            const std::wstring& folder = {});

// Deletes `file`, read-only or not (what a run placed or backed up), through a
// handle: a link in its place is left alone. True when nothing is left under the
// name (the thread's last error tells why otherwise).
bool deleteFile(const std::wstring& file);

// Gives the local Users group read, write and delete access to `file`: one allow
// entry placed after the file's own explicit entries and before the inherited ones.
// True when the new access list was stored.
bool grant_users_modify(const std::wstring& file);

// Access mask of the Users entry: read, write and delete, no execute.
constexpr ACCESS_MASK usersModifyMask = 0x13019F;

// Builds into `acl` the access list that grant_users_modify stores: the entries of
// `old` (none when nullptr) in order, without any entry for `users`, with one allow
// entry for `users` inserted before the first inherited entry. S_OK or the failure.
HRESULT buildUsersModifyAcl(const ACL* old, PSID users, std::vector<BYTE>& acl);

} // namespace ar
