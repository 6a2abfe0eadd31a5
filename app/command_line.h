// The installer's command line, for unattended installation by administrators:
//   /S             silent: no window and no message box; every question takes the
//                  answer that lets a safe installation go on, and refuses otherwise
//   /PASSIVE       progress only: the progress page, no question (answered as /S
//                  answers it, in the log), and the window closes at the end
//   /D=<folder>    installation folder (last on the line; may contain blanks, unquoted)
//   /LANG=<index>  interface language among the offered ones
//   /NOMENU        no Start-menu shortcuts      /MENU=<folder>  their folder
//   /NODESKTOP     no desktop shortcut
//   /LOG=<file>    a UTF-8 log of everything shown, with time stamps
//   /?             the usage text
// Without /S or /PASSIVE the switches preset the wizard's choices.
#pragma once

#include <optional>
#include <string>

#include "engine/installation.h"
#include "product/exit_codes.h"

namespace ar {

// The code of a run that was attempted: installed (with or without failed steps),
// refused before writing anything (too little space), or failed.
ExitCode runExitCode(RunOutcome outcome);

struct CommandLine {
    bool silent = false;
    bool passive = false;
    bool help = false;
    std::optional<std::wstring> installFolder;
    std::optional<int> language;
    bool noMenu = false;
    bool noDesktop = false;
    std::optional<std::wstring> menuFolder;
    std::optional<std::wstring> logFile;
    std::wstring error; // not empty: the line is malformed, and why
};

// Why `folder` cannot be the installation folder (empty: it can): empty, not a full
// path, characters that Windows forbids in names, a file in its place, or switches
// after it on the command line.
std::wstring installFolderProblem(const std::wstring& folder);

// Why `folder` cannot be the Start-menu folder of /MENU= (empty: it can): a full
// path, or a path relative to the common Programs folder that stays below it.
std::wstring menuFolderProblem(const std::wstring& folder);

// Parses the arguments after the program name.
CommandLine parseCommandLine(const std::wstring& arguments);

// The arguments of this process's command line (without the program name).
std::wstring processArguments();

// The usage text, with the exit codes.
std::wstring usageText();

} // namespace ar
