#include "support/error.h"

#include <utility>

#include "support/handles.h"
#include "support/module_state.h"

namespace ar {
namespace {

constexpr DWORD formatFlags =
    FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER;

bool fetchSystemText(LONG code, LANGID language, std::wstring& text)
{
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(formatFlags, nullptr, static_cast<DWORD>(code), language,
                                  reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    if (length == 0 && GetLastError() == ERROR_RESOURCE_LANG_NOT_FOUND && language != 0)
        length = FormatMessageW(formatFlags, nullptr, static_cast<DWORD>(code), 0,
                                reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    unique_hlocal owner(buffer);
    if (length == 0 || !buffer)
        return false;
    text.assign(buffer, length);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n'))
        text.pop_back();
    return true;
}

MessageBoxHandler& boxHandler()
{
    static MessageBoxHandler handler;
    return handler;
}

bool fontSignatureIsRightToLeft(LCID locale)
{
    LOCALESIGNATURE signature{};
    if (!GetLocaleInfoW(locale, LOCALE_FONTSIGNATURE, reinterpret_cast<LPWSTR>(&signature),
                        sizeof(signature) / sizeof(wchar_t)))
        return false;
    return (signature.lsUsb[3] & (1u << 27)) != 0;
}

} // namespace

std::wstring systemErrorText(LONG code, LANGID language)
{
    std::wstring text;
    if (fetchSystemText(code, language, text))
        return text;
    if (code == E_FAIL)
        return L"Error";
    return systemErrorText(E_FAIL, language);
}

std::wstring errorText(LONG code)
{
    if (code & customerBit) {
        if (code & stringMessageBit) {
            std::wstring text = loadResourceString(static_cast<UINT>(code & 0xFFFF));
            if (!text.empty())
                return text;
        }
        return systemErrorText(E_FAIL, 0);
    }
    return systemErrorText(code, 0);
}

UINT withDefaultIcon(UINT type)
{
    if (type & MB_ICONMASK)
        return type;
    switch (type & MB_TYPEMASK) {
    case MB_OK:
    case MB_OKCANCEL:
        return type | MB_ICONEXCLAMATION;
    case MB_YESNOCANCEL:
    case MB_YESNO:
        return type | MB_ICONQUESTION;
    default:
        return type;
    }
}

bool userLanguageIsRightToLeft()
{
    return fontSignatureIsRightToLeft(MAKELCID(GetUserDefaultLangID(), SORT_DEFAULT));
}

UINT withReadingOrder(UINT type, HWND owner)
{
    bool rtl =
        owner ? (GetWindowLongW(owner, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0 : userLanguageIsRightToLeft();
    return rtl ? (type | MB_RTLREADING) : type;
}

HWND safeOwnerWindow()
{
    HWND window = GetActiveWindow();
    if (window)
        return GetAncestor(window, GA_ROOTOWNER);
    window = mainWindow();
    return (window && IsWindow(window)) ? window : nullptr;
}

ScopedMessageBoxHandler::ScopedMessageBoxHandler(MessageBoxHandler handler)
    : previous_(std::exchange(boxHandler(), std::move(handler)))
{
}

ScopedMessageBoxHandler::~ScopedMessageBoxHandler()
{
    boxHandler() = std::move(previous_);
}

int messageBox(const std::wstring& text, const std::wstring& caption, UINT type)
{
    std::wstring title = caption.empty() ? applicationName() : caption;
    if (boxHandler())
        return boxHandler()(text, title, withDefaultIcon(type));
    return showMessageBox(text, title, type);
}

int showMessageBox(const std::wstring& text, const std::wstring& title, UINT type)
{
    HWND owner = safeOwnerWindow();
    type = withReadingOrder(withDefaultIcon(type), owner);
    return MessageBoxW(owner, text.c_str(), title.empty() ? nullptr : title.c_str(), type);
}

int messageBox(UINT textId, UINT captionId, UINT type)
{
    std::wstring text = textId ? loadResourceString(textId) : std::wstring();
    std::wstring caption = captionId ? loadResourceString(captionId) : std::wstring();
    return messageBox(text, caption, type);
}

void showErrorCode(LONG code)
{
    messageBox(errorText(code), {}, MB_OK | MB_ICONEXCLAMATION);
}

bool showSystemError(HWND owner, LONG code)
{
    if (boxHandler()) {
        boxHandler()(systemErrorText(code, 0), {}, MB_ICONEXCLAMATION);
        return false;
    }
    UINT type = withReadingOrder(MB_ICONEXCLAMATION, owner);
    MessageBoxW(owner, systemErrorText(code, 0).c_str(), nullptr, type);
    return false;
}

} // namespace ar
