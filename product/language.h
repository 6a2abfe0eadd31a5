// The installer's interface language: the process-wide current language, the
// starting language from the user's settings, and numbered texts resolved in the
// current language with the English and French fallbacks.
//
// Every text has a base number from 1000 (the French block); the text shown is
// the resource string at that number plus the language's block offset. A string
// consisting of "#" marks a missing translation.
#pragma once

#include <windows.h>

#include <array>
#include <string>

namespace ar {

constexpr int languageCount = 18;
constexpr int french = 0;
constexpr int english = 1;

// The languages the installer offers (bit n = index n): 0-5, 7 and 14.
constexpr unsigned offeredLanguages = 0x40BF;
// The order in which the Start page lists them.
constexpr std::array<int, 8> offeredLanguageOrder{0, 1, 2, 3, 4, 5, 14, 7};

bool isValidLanguage(int index);
bool isOfferedLanguage(int index, unsigned offeredSet = offeredLanguages);

LANGID languageId(int index);
int flagIcon(int index);             // icon resource of the language's flag
UINT languageOffset(int index);      // block start minus 1000
bool hasInstallerTexts(int index);

// Index for the user's default language among `offeredSet` (0 = the state's set);
// English when offered, else French, for anything else.
int startingLanguage(unsigned offeredSet = 0);
// Same rule for a given user language (the testable core of startingLanguage).
int startingLanguageFor(LANGID userLanguage, unsigned offeredSet);

// Makes `index` current and switches the run-time library's locales with it.
void setLanguage(int index);
int currentLanguage();
UINT currentCodePage();
LCID currentLocale();

// The resource number that shows text `n` in the current language.
UINT resolveString(UINT n);
// The text of `n` in the current language as it reads in a sentence, a title or a
// log: without the access key mark of a control's caption. Empty when the resource
// is missing.
std::wstring loadString(UINT n);
// The text of `n` as a control's caption: with its access key mark ("&Next").
std::wstring loadCaption(UINT n);
// formatMessage of loadString(n) with the inserts.
std::wstring formatString(UINT n, std::initializer_list<std::wstring> inserts);

// The language's own name, first letter in upper case ("Deutsch").
std::wstring nativeLanguageName(int index);
bool isRightToLeft(int index);

} // namespace ar
