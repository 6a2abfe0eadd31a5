// Reading a program's version resource, and comparing the carried version with
// an installed one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ar {

// What queryVersionResource fills; `request` selects the members.
struct VersionResourceInfo {
    enum : std::uint32_t {
        FullText = 0x01,
        ProductName = 0x02,
        ProductVersion = 0x04,
        FileDescription = 0x08,
        LegalNotice = 0x10,
        FileVersion = 0x20,
        FileFlags = 0x40,
        All = 0x7F,
    };

    std::uint32_t request = All;
    std::uint64_t fileVersion = 0;  // a.b.c.d as a<<48 | b<<32 | c<<16 | d
    std::uint32_t fileFlags = 0;    // fixed flags masked by the flags mask
    std::wstring fullText;          // "Pelorium 7.5 – Private – Debug"
    std::wstring productName;
    std::wstring productVersion;
    std::wstring fileDescription;
    std::wstring legalNotice;
};

// Fills `info` for the file at `path` (the running executable when empty). False
// when the file has no version resource or a requested value is missing; what
// was found is filled all the same.
bool queryVersionResource(VersionResourceInfo& info, const std::wstring& path = {});

enum class InstallState : int { None = 0, Same = 1, Update = 2, NewerInstalled = -1 };

// The two answers about the installed product, as recorded on this computer.
struct InstalledProduct {
    bool installed = false;
    std::wstring mainProgram;  // may be empty
};

struct VersionComparison {
    InstallState state = InstallState::None;
    std::wstring installedVersionText;  // only for Update and NewerInstalled
};

// Pure rule: the payload version against the installed version value (0 = unknown).
InstallState compareVersions(std::uint64_t payload, std::uint64_t installed);

// Compares the carried version with the installed product. Empty when the
// installed main program's version resource cannot be read.
std::optional<VersionComparison> compareWithInstalled(const InstalledProduct& product);

// The installation's private temporary folder: `base` (the user's temporary folder
// when empty), then "ardenvale_{" + a random UUID + "}". On failure returns false
// and `error` holds "%08x (GetTempPath)" with the last error.
bool makeTempFolderPath(std::wstring& folder, std::wstring& error, const std::wstring& base = {});

} // namespace ar
