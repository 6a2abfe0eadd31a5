// The space an installation takes on each volume it writes to, against the space
// free there: checked before the first file is written, and shown on the Path page.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "payload/archive.h"

namespace ar {

struct InstallContext;

struct VolumeSpace {
    std::wstring volume;         // its root, "C:\"
    std::uint64_t needed = 0;    // bytes, each file rounded up to whole clusters
    std::uint64_t available = 0; // free for this process
    bool fits() const { return needed <= available; }
};

// What writing `entries` (destinations as stored) with `folders` takes, volume by
// volume, for the installation that `context` describes: files that the run keeps
// (the user's data, textures of an update) take nothing. A file that is replaced
// is moved into the backup folder for the run; on the same volume that is a rename
// and the new file takes its whole size, on another one the backup takes the old
// size there and frees it where the file was. Throws std::system_error ("compress")
// when a destination cannot be resolved.
std::vector<VolumeSpace> installationSpace(const std::vector<PayloadEntry>& entries,
                                           const PayloadFolders& folders, const InstallContext& context);

// The existing files that the run replaces (moves away and writes anew) for
// `entries`, by the same rules; the ones it keeps are not among them. Throws as
// installationSpace does.
std::vector<std::wstring> replacedFiles(const std::vector<PayloadEntry>& entries, const PayloadFolders& folders,
                                        const InstallContext& context);

// The root of the volume that holds `path`, whether or not the path exists yet;
// empty when there is none.
std::wstring volumeOf(const std::wstring& path);

// "There is not enough space on C:\ ..." in the current language.
std::wstring notEnoughSpaceText(const VolumeSpace& space);

// A byte count the way Windows shows it ("22.6 MB").
std::wstring byteSizeText(std::uint64_t bytes);

} // namespace ar
