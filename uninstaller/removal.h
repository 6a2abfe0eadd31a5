// The platform steps of an uninstallation. Each reports what became of its item
// and never throws; nothing is ever removed recursively.
#pragma once

#include <windows.h>

#include <string>

#include "product/product.h"

namespace ar {

enum class Outcome {
    Removed,
    Missing, // already gone
    Kept,    // left in place on purpose (a folder that is not empty)
    Failed,
};

struct StepResult {
    Outcome outcome = Outcome::Removed;
    LONG error = 0; // the system error of a failure
};

// Repeats `step` for up to `milliseconds` while what it removes is held: a folder
// not yet empty, a file or folder in use. The system may hold a program's file, and
// with it its folder, for a moment after the program has been signalled as ended.
template <typename Step> StepResult retryWhileHeld(Step step, DWORD milliseconds)
{
    StepResult result = step();
    for (DWORD waited = 0; waited < milliseconds; waited += 100) {
        const bool held = result.outcome == Outcome::Kept ||
                          (result.outcome == Outcome::Failed &&
                           (result.error == ERROR_SHARING_VIOLATION || result.error == ERROR_ACCESS_DENIED));
        if (!held)
            break;
        Sleep(100);
        result = step();
    }
    return result;
}

// The removal steps act below `root`, the product's folder that holds `path` (see
// stepRoot in uninstall_plan.h), through a handle opened there without following a
// link: a link or junction in `path`'s place or on its way below `root`, or a file
// with more than one name, makes the step fail (errorStoppedOnLink,
// ERROR_TOO_MANY_LINKS) and leaves it alone, whether the link was there when the
// plan was made or came later.

// Deletes one file, read-only or not (its attributes are put back when it stays). A
// folder in the file's place is left alone.
StepResult removeInstalledFile(const std::wstring& root, const std::wstring& path);

// Removes a folder only when it is empty.
StepResult removeEmptyFolder(const std::wstring& root, const std::wstring& path);

// Runs the installed main program with "/Unregister /Background" in its own folder
// and waits for it (two minutes at most), only when it is the main program that the
// product's record names and a plain file below `installFolder`. Removed when it
// reported success; Missing without the program; Kept when the record names another
// program or none (the log's word alone starts nothing); Failed with its exit code
// (or the system error when it could not be checked or started, WAIT_TIMEOUT when it
// did not end in time).
StepResult undoSelfRegistration(const std::wstring& installFolder, const std::wstring& program);

// Deletes the product's uninstall key when its "UninstallString" starts
// `uninstaller` (quoted or not, arguments allowed). Kept when it starts another program (an
// installation elsewhere may have taken the key over) or cannot be read; Missing
// without the key.
StepResult removeUninstallKey(const std::wstring& uninstaller);

// Deletes the product record and its App Paths entry when they name `mainProgram`.
StepResult removeProductRecordOf(const std::wstring& mainProgram);

} // namespace ar
