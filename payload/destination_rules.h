// What the archive's names and destination folders must be for the installer to
// create them: the rules the installer's reader applies to every entry and the
// payload builder applies to every manifest line, so that an archive the builder
// writes is one the installer takes.
//
// Portable (no Windows headers): compiled for the installer and for the builder.
// Text is UTF-16 code units, one per wchar_t whatever its width.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "payload/archive.h"

namespace ar {

// The longest name Windows' file systems take for one path element.
inline constexpr std::size_t maxNameLength = 255;

// Why `name` cannot be one element of an installed path (a file or folder name);
// empty when it can. Refused: empty, "." and "..", longer than maxNameLength,
// characters Windows forbids in names (<>:"/\|?* and U+0000 to U+001F), a
// reserved device name, also with an extension ("NUL", "com1.txt"), a trailing
// dot or blank, text that is not Unicode (an unpaired surrogate) and U+FEFF (an
// invisible byte-order mark).
std::string name_fault(std::wstring_view name);

// Why a destination folder as stored in the archive cannot be installed to; empty
// when it can. It begins with a folder token, then folder names, each as above;
// '\' and '/' both separate, and empty elements (doubled or trailing separators)
// are dropped as the reader resolves the folder.
std::string destination_fault(std::wstring_view folder);

// UTF-16 code units as UTF-8, for messages and listings (an unpaired surrogate
// becomes U+FFFD).
std::string to_utf8(std::wstring_view units);

// One UTF-16 code unit in upper case, as Windows compares names (one to one, in
// the Basic Multilingual Plane; other units are their own upper case).
wchar_t upper_case_unit(wchar_t unit);

// A path as Windows tells files apart: its non-empty elements, separated by one
// '\', in upper case. Two paths are the same file when their keys are equal.
std::wstring path_key(std::wstring_view path);

// Every path that is the same file as an earlier one: pairs of (index, index of
// the first path it repeats), in order.
std::vector<std::pair<std::size_t, std::size_t>> same_paths(const std::vector<std::wstring>& paths);

// An entry's destination file as stored: its folder and the source's file name.
std::wstring stored_destination_file(const PayloadEntry& entry);

// Everything wrong with the entries of an archive header, read as stored: one
// line per fault, naming the entry by its number (1-based). Empty when the
// installer can create every destination.
std::vector<std::string> entry_faults(const std::vector<PayloadEntry>& entries);

} // namespace ar
