#include "product/language.h"

#include <clocale>
#include <cwchar>
#include <locale>
#include <mutex>

#include "support/format.h"
#include "support/module_state.h"

namespace ar {
namespace {

struct LanguageInfo {
    WORD primary;
    WORD sublanguage;
    int flag;
    UINT blockStart;
    bool texts;
};

// Index order; the string blocks do not follow it.
constexpr LanguageInfo languages[languageCount] = {
    {LANG_FRENCH, 1, 144, 1000, true},     {LANG_ENGLISH, 1, 145, 2000, true},
    {LANG_GERMAN, 1, 141, 3000, true},     {LANG_SPANISH, 3, 143, 4000, true},
    {LANG_PORTUGUESE, 2, 148, 5000, true}, {LANG_DUTCH, 1, 147, 7000, false},
    {LANG_DANISH, 1, 142, 8000, false},    {LANG_TURKISH, 1, 149, 9000, true},
    {LANG_BULGARIAN, 1, 150, 11000, false}, {LANG_ROMANIAN, 1, 151, 12000, true},
    {LANG_CHINESE, 2, 152, 10000, false},  {LANG_ITALIAN, 1, 146, 6000, true},
    {LANG_CZECH, 1, 153, 13000, false},    {LANG_NORWEGIAN, 1, 154, 14000, false},
    {LANG_GREEK, 1, 155, 15000, false},    {LANG_POLISH, 1, 156, 16000, false},
    {LANG_HEBREW, 1, 157, 17000, false},   {LANG_VIETNAMESE, 1, 158, 18000, false},
};

struct LanguageState {
    unsigned offeredSet = 1;
    int index = 0;
    LCID locale = 0;
    UINT codePage = 1252;
};

std::once_flag stateOnce;
LanguageState languageState;

LCID localeFor(int index)
{
    LANGID id = languageId(index);
    LCID user = GetUserDefaultLCID();
    return LANGIDFROMLCID(user) == id ? user : MAKELCID(id, SORT_DEFAULT);
}

std::wstring localeName(int index)
{
    LANGID id = languageId(index);
    if (PRIMARYLANGID(GetUserDefaultLangID()) == PRIMARYLANGID(id))
        return {};  // the user's own locale
    LCID lcid = MAKELCID(id, SORT_DEFAULT);
    using LcidToName = int(WINAPI*)(LCID, LPWSTR, int, DWORD);
    auto toName = reinterpret_cast<LcidToName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LCIDToLocaleName")));
    wchar_t buffer[LOCALE_NAME_MAX_LENGTH] = {};
    if (toName) {
        if (toName(lcid, buffer, LOCALE_NAME_MAX_LENGTH, 0) > 0)
            return buffer;
        return {};
    }
    wchar_t country[16] = {};
    if (GetLocaleInfoW(lcid, LOCALE_SISO639LANGNAME, buffer, 16) &&
        GetLocaleInfoW(lcid, LOCALE_SISO3166CTRYNAME, country, 16))
        return std::wstring(buffer) + L'-' + country;
    return {};
}

// Stream and C library locales follow the language for character classes and collation.
void applyLibraryLocales(int index)
{
    std::wstring name = localeName(index);
    std::locale global = std::locale::classic();
    try {
        std::string narrow(name.begin(), name.end());
        global = std::locale(std::locale::classic(), std::locale(narrow.c_str()),
                             std::locale::collate | std::locale::ctype);
    } catch (const std::exception&) {
        // The C++ library does not know the name: keep the classic locale.
    }
    std::locale::global(global);
    _wsetlocale(LC_ALL, L"C");
    _wsetlocale(LC_CTYPE, name.c_str());
    _wsetlocale(LC_COLLATE, name.c_str());
}

void storeLanguage(int index)
{
    languageState.index = index;
    languageState.locale = localeFor(index);
    wchar_t buffer[16] = {};
    UINT codePage = 0;
    if (GetLocaleInfoW(languageState.locale, LOCALE_IDEFAULTANSICODEPAGE, buffer, 16))
        codePage = static_cast<UINT>(wcstoul(buffer, nullptr, 10));
    languageState.codePage = codePage ? codePage : GetACP();
}

LanguageState& state()
{
    std::call_once(stateOnce, [] {
        _configthreadlocale(_DISABLE_PER_THREAD_LOCALE);
        applyLibraryLocales(french);
        storeLanguage(french);
        // The thread locale is set once, to French's, and never changed afterwards.
        SetThreadLocale(languageState.locale);
    });
    return languageState;
}

bool isMissing(UINT number)
{
    return loadResourceString(number) == L"#";
}

} // namespace

bool isValidLanguage(int index)
{
    return index >= 0 && index < languageCount;
}

bool isOfferedLanguage(int index, unsigned offeredSet)
{
    return isValidLanguage(index) && (offeredSet & (1u << index)) != 0;
}

LANGID languageId(int index)
{
    const LanguageInfo& info = languages[index];
    return MAKELANGID(info.primary, info.sublanguage);
}

int flagIcon(int index)
{
    return languages[index].flag;
}

UINT languageOffset(int index)
{
    return languages[index].blockStart - 1000;
}

bool hasInstallerTexts(int index)
{
    return isValidLanguage(index) && languages[index].texts;
}

int startingLanguageFor(LANGID userLanguage, unsigned offeredSet)
{
    WORD primary = PRIMARYLANGID(userLanguage);
    WORD sub = SUBLANGID(userLanguage);
    int index = -1;
    switch (primary) {
    case LANG_FRENCH: index = 0; break;
    case LANG_GERMAN: index = 2; break;
    case LANG_SPANISH: index = 3; break;
    case LANG_PORTUGUESE: index = 4; break;
    case LANG_DUTCH: index = 5; break;
    case LANG_DANISH: index = 6; break;
    case LANG_TURKISH: index = 7; break;
    case LANG_BULGARIAN: index = 8; break;
    case LANG_ROMANIAN: index = 9; break;
    case LANG_CHINESE:
        if (sub == SUBLANG_CHINESE_SIMPLIFIED || sub == SUBLANG_CHINESE_SINGAPORE)
            index = 10;
        break;
    case LANG_ITALIAN: index = 11; break;
    case LANG_CZECH: index = 12; break;
    case LANG_NORWEGIAN: index = 13; break;
    case LANG_GREEK: index = 14; break;
    case LANG_POLISH: index = 15; break;
    case LANG_HEBREW: index = 16; break;
    case LANG_VIETNAMESE: index = 17; break;
    default: break;
    }
    if (index >= 0 && isOfferedLanguage(index, offeredSet))
        return index;
    return (offeredSet & (1u << english)) ? english : french;
}

int startingLanguage(unsigned offeredSet)
{
    if (offeredSet == 0)
        offeredSet = state().offeredSet;
    return startingLanguageFor(GetUserDefaultLangID(), offeredSet);
}

void setLanguage(int index)
{
    if (!isValidLanguage(index))
        return;
    LanguageState& s = state();
    if (index != s.index)
        applyLibraryLocales(index);
    storeLanguage(index);
}

int currentLanguage()
{
    return state().index;
}

UINT currentCodePage()
{
    return state().codePage;
}

LCID currentLocale()
{
    return state().locale;
}

UINT resolveString(UINT n)
{
    int language = currentLanguage();
    if (!hasInstallerTexts(language))
        language = english;
    if (language == french)
        return n;
    UINT translated = n + languageOffset(language);
    if (!isMissing(translated))
        return translated;
    if (language == english)
        return n;
    UINT inEnglish = n + languageOffset(english);
    return isMissing(inEnglish) ? n : inEnglish;
}

std::wstring loadString(UINT n)
{
    return withoutAccessKey(loadCaption(n));
}

std::wstring loadCaption(UINT n)
{
    return loadResourceString(resolveString(n));
}

std::wstring formatString(UINT n, std::initializer_list<std::wstring> inserts)
{
    return formatMessage(loadString(n), inserts);
}

std::wstring nativeLanguageName(int index)
{
    wchar_t buffer[128] = {};
    if (!GetLocaleInfoW(MAKELCID(languageId(index), SORT_DEFAULT), LOCALE_SNATIVELANGNAME, buffer, 128))
        return {};
    CharUpperBuffW(buffer, 1);
    return buffer;
}

bool isRightToLeft(int index)
{
    LOCALESIGNATURE signature{};
    if (!isValidLanguage(index) ||
        !GetLocaleInfoW(MAKELCID(languageId(index), SORT_DEFAULT), LOCALE_FONTSIGNATURE,
                        reinterpret_cast<LPWSTR>(&signature), sizeof(signature) / sizeof(wchar_t)))
        return index == 16;
    return (signature.lsUsb[3] & (1u << 27)) != 0;
}

} // namespace ar
