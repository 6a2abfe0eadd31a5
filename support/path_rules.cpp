#include "support/path_rules.h"

#include <cwchar>
#include <cwctype>

#include "support/format.h"

namespace ar {
namespace {

bool isSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

// A name that the file system takes as it stands: no wildcard, stream or device
// syntax, no "." or "..", and no trailing dot or blank (which the platform strips,
// so that the name would mean another one).
bool isPlainName(const std::wstring& name)
{
    if (name.empty() || name == L"." || name == L"..")
        return false;
    if (name.back() == L'.' || name.back() == L' ')
        return false;
    for (wchar_t c : name)
        if (c < 0x20 || std::wcschr(L"<>:\"|?*", c))
            return false;
    return true;
}

bool startsWith(const std::vector<std::wstring>& path, const std::vector<std::wstring>& folder)
{
    if (path.size() < folder.size())
        return false;
    for (std::size_t i = 0; i < folder.size(); ++i)
        if (!equalIgnoringCase(path[i], folder[i]))
            return false;
    return true;
}

} // namespace

std::optional<std::vector<std::wstring>> pathElements(const std::wstring& path)
{
    std::vector<std::wstring> out;
    std::size_t position = 0;
    if (path.size() >= 3 && std::iswalpha(path[0]) && path[1] == L':' && isSeparator(path[2])) {
        out.push_back(path.substr(0, 2));
        position = 3;
    } else if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1])) {
        std::wstring root = L"\\\\";
        position = 2;
        for (int part = 0; part < 2; ++part) {
            std::size_t end = position;
            while (end < path.size() && !isSeparator(path[end]))
                ++end;
            std::wstring name = path.substr(position, end - position);
            if (!isPlainName(name))
                return std::nullopt;
            root += part == 0 ? name + L"\\" : name;
            position = end + 1;
        }
        out.push_back(root);
    } else {
        return std::nullopt;
    }
    while (position < path.size()) {
        std::size_t end = position;
        while (end < path.size() && !isSeparator(path[end]))
            ++end;
        if (end > position) {
            std::wstring name = path.substr(position, end - position);
            if (!isPlainName(name))
                return std::nullopt;
            out.push_back(name);
        }
        position = end + 1;
    }
    return out;
}

bool isPlainAbsolutePath(const std::wstring& path)
{
    return pathElements(path).has_value();
}

bool samePlainPath(const std::wstring& a, const std::wstring& b)
{
    auto left = pathElements(a), right = pathElements(b);
    return left && right && left->size() == right->size() && startsWith(*left, *right);
}

bool isBelow(const std::wstring& path, const std::wstring& folder)
{
    auto p = pathElements(path), f = pathElements(folder);
    return p && f && p->size() > f->size() && startsWith(*p, *f);
}

bool isAtOrBelow(const std::wstring& path, const std::wstring& folder)
{
    auto p = pathElements(path), f = pathElements(folder);
    return p && f && startsWith(*p, *f);
}

std::optional<std::vector<std::wstring>> namesBelow(const std::wstring& path, const std::wstring& folder)
{
    auto p = pathElements(path), f = pathElements(folder);
    if (!p || !f || !startsWith(*p, *f))
        return std::nullopt;
    return std::vector<std::wstring>(p->begin() + static_cast<std::ptrdiff_t>(f->size()), p->end());
}

std::wstring parentOf(const std::wstring& path)
{
    std::size_t end = path.find_last_of(L"\\/");
    return end == std::wstring::npos ? std::wstring() : path.substr(0, end);
}

} // namespace ar
