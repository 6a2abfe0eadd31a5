// The company's shared data folder below the common application data folder
// ("C:\ProgramData\Ardenvale"). Standard users may create folders there, so one
// that is already there when the installer starts may have been made, or opened
// up, by someone else: the elevated installer then writes into it only once no
// standard user can rearrange it any more.
#pragma once

#include <windows.h>

#include <string>

namespace ar {

struct SharedDataCheck {
    enum Result {
        Safe,     // missing, or only administrators can change it and what is below it
        MadeSafe, // others could: every folder in it now has an access list that only
                  // administrators can change (Users read and run)
        Unsafe,   // a link or junction in it, or a folder whose list could not be set
    };
    Result result = Safe;
    std::wstring folder; // the first folder that was made safe, or the unsafe one
    DWORD error = 0;
};

// Looks at the company's folder and every folder below it through handles held
// while it works, and makes them safe when nothing in them is a link.
SharedDataCheck secureSharedDataFolder();

} // namespace ar
