// Files of the product that other programs hold open, found before the run writes
// anything: a file that cannot be moved away would fail the run half way.
#pragma once

#include <string>
#include <vector>

namespace ar {

// The files of `paths` that are there and cannot be moved away now: another
// program has them open without sharing deletion (opened as the run would open
// them to move them, so a program that shares deletion, an indexer say, is no
// obstacle). Links and junctions are not followed.
std::vector<std::wstring> heldFiles(const std::vector<std::wstring>& paths);

// The file is there but another program holds it so that it cannot even be read
// (its version, say).
bool heldAgainstReading(const std::wstring& path);

// The programs that hold `files`, as the Restart Manager names them ("Pelorium
// (1234)"); none where it cannot tell (it is loaded from the system folder only).
std::vector<std::wstring> programsHolding(const std::vector<std::wstring>& files);

// The message that names the held files and, when known, the programs.
std::wstring filesInUseText(const std::vector<std::wstring>& files, const std::vector<std::wstring>& programs);

} // namespace ar
