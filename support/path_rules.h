// The one set of rules by which the installer and the uninstaller compare paths.
// They work on the elements of absolute paths ("C:" or "\\server\share", then the
// names), without case; "/" separates like "\". A path with "." or ".." elements,
// wildcards, a stream name or a name that the platform would change (a trailing
// dot or blank) is not a plain absolute path, and no rule holds for it. Nothing
// here asks the file system: links are the business of elevated_files.h.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ar {

// The root and the names of a plain absolute path; nothing when it is not one.
// Repeated and trailing separators are ignored, as the platform does.
std::optional<std::vector<std::wstring>> pathElements(const std::wstring& path);

bool isPlainAbsolutePath(const std::wstring& path);
// The same elements.
bool samePlainPath(const std::wstring& a, const std::wstring& b);
// `path` lies below `folder` (not the folder itself).
bool isBelow(const std::wstring& path, const std::wstring& folder);
// `path` is `folder` or lies below it.
bool isAtOrBelow(const std::wstring& path, const std::wstring& folder);
// The names of `path` after those of `folder`, when it lies at or below it.
std::optional<std::vector<std::wstring>> namesBelow(const std::wstring& path, const std::wstring& folder);

// The folder that holds `path`: everything before its last backslash or slash;
// empty when there is none.
std::wstring parentOf(const std::wstring& path);

} // namespace ar
