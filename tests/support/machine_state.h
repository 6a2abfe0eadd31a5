// A snapshot of what an installation touches on this machine: the file trees
// (names, contents, attributes) and the product's registry keys, for comparing
// the machine before and after a run.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace ar::test {

struct RegistryKey {
    HKEY root;
    std::wstring path;
};

class MachineState {
public:
    // Folders whose whole trees are compared, and registry keys compared with their sub-keys.
    MachineState(std::vector<std::wstring> folders, std::vector<RegistryKey> keys);

    // Path (or key) -> a description of the entry: kind, attributes, size, checksum or value data.
    using Snapshot = std::map<std::wstring, std::string>;
    Snapshot take() const;

    // Lines describing the differences ("+ added", "- removed", "~ changed"); empty when equal.
    static std::vector<std::string> differences(const Snapshot& before, const Snapshot& after);

private:
    std::vector<std::wstring> folders_;
    std::vector<RegistryKey> keys_;
};

// The folders and keys that an installation of the product touches besides its
// installation and shortcut folders.
std::wstring commonDataFolder();  // C:\ProgramData\Ardenvale
std::wstring userDataFolder();    // %APPDATA%\Ardenvale
std::wstring publicDesktopLink(); // "Pelorium 7.06.lnk" on the public desktop
std::vector<RegistryKey> productKeys();

// Removes everything of an installation of the product outside `folders`.
void removeProductTraces();

// Private temporary folders of runs ("ardenvale_{...}") in the user's temporary folder.
std::vector<std::wstring> runTemporaryFolders();

} // namespace ar::test
