// The destination rules over names and folders given as UTF-16 (the archive's
// reader) and as UTF-8 (the payload builder's manifest). The first byte chooses
// which; '|' separates paths. What the rules let through holds to what they say.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "payload/destination_rules.h"
#include "tools/archive_builder.h"

namespace {

[[noreturn]] void broken(const char* what)
{
    std::fprintf(stderr, "destination rules: %s\n", what);
    std::abort();
}

bool isSurrogate(wchar_t unit)
{
    return unit >= 0xD800 && unit <= 0xDFFF;
}

bool wellFormed(std::wstring_view units)
{
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (units[i] >= 0xD800 && units[i] <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF)
            ++i;
        else if (isSurrogate(units[i]))
            return false;
    }
    return true;
}

// What name_fault promises of a name it takes.
void checkName(std::wstring_view name)
{
    if (!ar::name_fault(name).empty())
        return;
    if (name.empty() || name.size() > ar::maxNameLength || name == L"." || name == L"..")
        broken("an empty, dot or overlong name is taken");
    for (wchar_t unit : name)
        if (unit < 0x20 || std::wstring_view(L"<>:\"/\\|?*").find(unit) != std::wstring_view::npos ||
            unit == 0xFEFF)
            broken("a name with a forbidden character is taken");
    if (name.back() == L'.' || name.back() == L' ')
        broken("a name with a trailing dot or blank is taken");
    if (!wellFormed(name))
        broken("a name with an unpaired surrogate is taken");
}

void checkPath(const std::wstring& path)
{
    checkName(path);
    if (ar::destination_fault(path).empty()) {
        // A folder token, then names that are each taken.
        std::size_t start = 0;
        bool first = true;
        for (std::size_t i = 0; i <= path.size(); ++i) {
            if (i < path.size() && path[i] != L'\\' && path[i] != L'/')
                continue;
            std::wstring_view element(path.data() + start, i - start);
            if (first && !ar::folder_token(element))
                broken("a destination without a folder token is taken");
            if (!first && !element.empty() && !ar::name_fault(element).empty())
                broken("a destination with a refused name is taken");
            first = false;
            start = i + 1;
        }
    }
    const std::wstring key = ar::path_key(path);
    if (ar::path_key(key) != key)
        broken("a path's key is not its own key");
    for (wchar_t unit : path)
        if (ar::upper_case_unit(ar::upper_case_unit(unit)) != ar::upper_case_unit(unit))
            broken("a unit's upper case has another upper case");
    const std::string utf8 = ar::to_utf8(path);
    if (ar::tools::invalid_utf8_at(utf8) != std::string::npos)
        broken("to_utf8 wrote malformed UTF-8");
    if (wellFormed(path) && ar::tools::utf16(utf8) != path)
        broken("well-formed UTF-16 does not come back from UTF-8");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const bool asUtf16 = data[0] & 1;
    std::wstring text;
    if (asUtf16) {
        for (std::size_t i = 1; i + 1 < size; i += 2)
            text += static_cast<wchar_t>(data[i] | data[i + 1] << 8);
    } else {
        const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
        text = ar::tools::utf16(bytes);
        if (ar::tools::invalid_utf8_at(bytes) == std::string::npos && ar::to_utf8(text) != bytes)
            broken("valid UTF-8 does not come back from UTF-16");
    }

    std::vector<std::wstring> paths;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i)
        if (i == text.size() || text[i] == L'|') {
            paths.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    for (const std::wstring& path : paths)
        checkPath(path);
    for (const auto& [index, first] : ar::same_paths(paths))
        if (first >= index || ar::path_key(paths[index]) != ar::path_key(paths[first]))
            broken("same_paths pairs paths that differ");
    return 0;
}
