#include "payload/destination_rules.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <map>

namespace ar {
namespace {

struct CaseRun {
    std::uint16_t first, last;
    std::uint16_t step;
    std::int32_t delta;
};

constexpr CaseRun caseRuns[] = {
#include "payload/case_table.inc"
};

std::uint32_t unitOf(wchar_t c)
{
    return static_cast<std::uint32_t>(c) & 0xFFFF;
}

bool isSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

bool isHighSurrogate(std::uint32_t u)
{
    return u >= 0xD800 && u <= 0xDBFF;
}

bool isLowSurrogate(std::uint32_t u)
{
    return u >= 0xDC00 && u <= 0xDFFF;
}

// The path's elements between separators, the empty ones included.
std::vector<std::wstring_view> elementsOf(std::wstring_view path)
{
    std::vector<std::wstring_view> elements;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= path.size(); ++i)
        if (i == path.size() || isSeparator(path[i])) {
            elements.push_back(path.substr(start, i - start));
            start = i + 1;
        }
    return elements;
}

// CON, PRN, AUX, NUL, COM0-9, LPT0-9 (the superscript digits ¹²³ too), CONIN$ and
// CONOUT$, in any case: Windows opens the device instead of a file of that name,
// also when an extension follows ("nul.txt") or blanks end the stem ("nul .txt").
bool isDeviceName(std::wstring_view name)
{
    std::wstring_view stem = name.substr(0, name.find(L'.'));
    while (!stem.empty() && stem.back() == L' ')
        stem.remove_suffix(1);
    std::wstring upper;
    for (wchar_t c : stem)
        upper += (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
    if (upper == L"CON" || upper == L"PRN" || upper == L"AUX" || upper == L"NUL" || upper == L"CONIN$" ||
        upper == L"CONOUT$")
        return true;
    if (upper.size() != 4 || (upper.compare(0, 3, L"COM") != 0 && upper.compare(0, 3, L"LPT") != 0))
        return false;
    wchar_t digit = upper[3];
    return (digit >= L'0' && digit <= L'9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

std::string quoted(std::wstring_view text)
{
    return "'" + to_utf8(text) + "'";
}

} // namespace

std::string to_utf8(std::wstring_view units)
{
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::uint32_t code = unitOf(units[i]);
        if (isHighSurrogate(code) && i + 1 < units.size() && isLowSurrogate(unitOf(units[i + 1]))) {
            code = 0x10000 + ((code - 0xD800) << 10) + (unitOf(units[i + 1]) - 0xDC00);
            ++i;
        } else if (isHighSurrogate(code) || isLowSurrogate(code)) {
            code = 0xFFFD;
        }
        if (code < 0x80) {
            out.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            out.push_back(static_cast<char>(0xC0 | code >> 6));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | code >> 12));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | code >> 18));
            out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    return out;
}

std::string name_fault(std::wstring_view name)
{
    if (name.empty())
        return "'' is empty";
    if (name == L".")
        return "'.' is no name (it means the folder itself)";
    if (name == L"..")
        return "'..' is no name (it means the folder above)";
    if (name.size() > maxNameLength)
        return quoted(name.substr(0, 16)) + "... is too long (" + std::to_string(name.size()) +
               " UTF-16 units, at most " + std::to_string(maxNameLength) + ")";
    for (std::size_t i = 0; i < name.size(); ++i) {
        std::uint32_t c = unitOf(name[i]);
        if (c < 0x20)
            return quoted(name) + " contains the control character U+00" + "0123456789ABCDEF"[c >> 4] +
                   "0123456789ABCDEF"[c & 15];
        if (c < 0x80 &&
            std::wstring_view(L"<>:\"/\\|?*").find(static_cast<wchar_t>(c)) != std::wstring_view::npos)
            return quoted(name) + " contains '" + static_cast<char>(c) + "', which Windows forbids in names";
        if (c == 0xFEFF)
            return quoted(name) + " contains U+FEFF, an invisible byte-order mark";
        if (isHighSurrogate(c) && i + 1 < name.size() && isLowSurrogate(unitOf(name[i + 1])))
            ++i;
        else if (isHighSurrogate(c) || isLowSurrogate(c))
            return quoted(name) + " has an unpaired UTF-16 surrogate (it is not Unicode text)";
    }
    if (isDeviceName(name))
        return quoted(name) + " is a reserved device name on Windows";
    if (name.back() == L'.' || name.back() == L' ')
        return quoted(name) + " ends in a " + (name.back() == L'.' ? "dot" : "blank") +
               ", which Windows drops";
    return {};
}

std::string destination_fault(std::wstring_view folder)
{
    std::vector<std::wstring_view> elements = elementsOf(folder);
    if (!folder_token(elements.front()))
        return "does not begin with a folder token";
    for (std::size_t i = 1; i < elements.size(); ++i)
        if (!elements[i].empty())
            if (std::string fault = name_fault(elements[i]); !fault.empty())
                return "folder " + fault;
    return {};
}

wchar_t upper_case_unit(wchar_t unit)
{
    std::uint32_t u = unitOf(unit);
    for (const CaseRun& run : caseRuns) {
        if (run.first > u)
            break;
        if (u <= run.last && (u - run.first) % run.step == 0)
            return static_cast<wchar_t>(static_cast<std::int32_t>(u) + run.delta);
    }
    return unit;
}

std::wstring path_key(std::wstring_view path)
{
    std::wstring key;
    for (std::wstring_view element : elementsOf(path)) {
        if (element.empty())
            continue;
        if (!key.empty())
            key += L'\\';
        for (wchar_t c : element)
            key += upper_case_unit(c);
    }
    return key;
}

std::vector<std::pair<std::size_t, std::size_t>> same_paths(const std::vector<std::wstring>& paths)
{
    std::vector<std::pair<std::size_t, std::size_t>> repeats;
    std::map<std::wstring, std::size_t> first;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        auto [found, fresh] = first.emplace(path_key(paths[i]), i);
        if (!fresh)
            repeats.emplace_back(i, found->second);
    }
    return repeats;
}

std::wstring stored_destination_file(const PayloadEntry& entry)
{
    return entry.destination + L'\\' + file_name_of(entry.sourcePath);
}

std::vector<std::string> entry_faults(const std::vector<PayloadEntry>& entries)
{
    std::vector<std::string> faults;
    std::vector<std::wstring> files;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        std::string number = "entry " + std::to_string(i + 1) + ": ";
        if (std::string fault = name_fault(file_name_of(entries[i].sourcePath)); !fault.empty())
            faults.push_back(number + "file " + fault);
        if (std::string fault = destination_fault(entries[i].destination); !fault.empty())
            faults.push_back(number + "destination " + quoted(entries[i].destination) + ": " + fault);
        files.push_back(stored_destination_file(entries[i]));
    }
    for (auto [repeat, first] : same_paths(files))
        faults.push_back("entry " + std::to_string(repeat + 1) + ": same destination file as entry " +
                         std::to_string(first + 1) + " (" + quoted(files[repeat]) + ")");
    return faults;
}

} // namespace ar
