// What makes a typed folder unusable, for the Path page and the command line alike.
#pragma once

#include <string>

#include "support/path_rules.h"

namespace ar {

enum class FolderProblem {
    None,
    Empty,
    NotFullPath,        // neither "C:\..." nor "\\server\share\..."
    ForbiddenCharacter, // < > " | ? * a control character, or ':' after the drive
    FileInTheWay,       // a file stands where the folder would be
};

// Checks `folder` as the installation folder.
FolderProblem folderProblem(const std::wstring& folder);

// "C:\..." (any drive letter) or "\\server\...": a path that does not depend on the
// current drive or folder.
bool isFullPath(const std::wstring& path);

// True when `path` has a character that Windows forbids in a name (the drive's
// colon aside).
bool hasForbiddenCharacter(const std::wstring& path);

} // namespace ar
