#include "log/log_format.h"

#include "product/product.h"

#include <boost/algorithm/string/trim.hpp>

#include <iomanip>
#include <sstream>

namespace ar {

namespace {

constexpr wchar_t versionLabel[] = L"Uninstall Log File v";
constexpr wchar_t productLabel[] = L"Install";
constexpr wchar_t installPathLabel[] = L"Install Path : ";
constexpr wchar_t shortcutPathLabel[] = L"Shortcut Path : ";
constexpr wchar_t lineEnd[] = L"\r\n";

// The text after `label`, or nothing when the label is missing.
std::optional<std::wstring> after(const std::wstring& text, const wchar_t* label)
{
    std::wstring::size_type at = text.find(label);
    if (at == std::wstring::npos)
        return std::nullopt;
    return text.substr(at + std::char_traits<wchar_t>::length(label));
}

constexpr std::size_t lineBufferBytes = 1024;

} // namespace

std::vector<std::wstring> splitLogLines(const std::string& bytes,
                                        const std::function<std::wstring(const std::string&)>& eightBit)
{
    std::vector<std::wstring> lines;
    const bool utf16 = bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
                       static_cast<unsigned char>(bytes[1]) == 0xFE;
    std::size_t at = utf16 ? 2 : 0;
    while (at < bytes.size()) {
        // Room for the terminating zero, and on the first line for the byte-order mark.
        const std::size_t budget = lineBufferBytes - 1 - (utf16 && lines.empty() ? 2 : 0);
        if (!utf16) {
            std::string line;
            while (at < bytes.size() && (line.empty() || line.back() != '\n')) {
                if (line.size() == budget)
                    return lines; // longer than the buffer
                line += bytes[at++];
            }
            lines.push_back(eightBit(line));
            continue;
        }
        std::wstring line;
        while (at + 1 < bytes.size() && (line.empty() || line.back() != L'\n')) {
            if ((line.size() + 1) * sizeof(char16_t) > budget)
                return lines; // longer than the buffer
            line += static_cast<wchar_t>(static_cast<unsigned char>(bytes[at]) |
                                         static_cast<unsigned char>(bytes[at + 1]) << 8);
            at += 2;
        }
        if (line.empty())
            break; // half a unit at the end
        lines.push_back(std::move(line));
    }
    return lines;
}

std::wstring uninstallKeyText()
{
    return L"HKEY_LOCAL_MACHINE\\" + product::uninstallKeyPath();
}

std::vector<std::wstring> formatLogHeader(const std::wstring& displayName,
                                          const std::wstring& previousProduct,
                                          const std::wstring& installFolder,
                                          const std::wstring& shortcutFolder)
{
    std::wstring product = L"// Install " + displayName;
    if (!previousProduct.empty())
        product += L" -- Update (" + previousProduct + L")";
    std::wstring shortcutLine = shortcutPathLabel + shortcutFolder;
    return {
        std::wstring(L"// ") + versionLabel + L"1" + lineEnd,
        std::wstring(L"// ############ WARNING: Do not delete or modify this file. ############") + lineEnd,
        product + lineEnd,
        L"// " + (installPathLabel + installFolder) + lineEnd,
        L"// " + shortcutLine + lineEnd,
        L"// " + std::wstring(shortcutLine.size(), L'-') + lineEnd,
    };
}

std::wstring formatRecordLine(std::size_t number, const UninstallLogRecord& record)
{
    unsigned code = (static_cast<unsigned>(record.recordKind) & 0xFF) << 8 | (record.fileKind & 0xFF);
    std::wostringstream line;
    line << std::setfill(L'0') << std::setw(4) << number << L':' << std::hex << std::setw(4) << code << L':'
         << (record.succeeded ? L'1' : L'0') << L" -- " << record.path << lineEnd;
    return line.str();
}

std::optional<UninstallLogRecord> parseRecordLine(const std::wstring& line)
{
    std::wistringstream in(line);
    long long number = -1;
    wchar_t colon1 = 0, colon2 = 0, flag = 0;
    long long code = 0;
    std::wstring word;
    in >> number >> colon1 >> std::hex >> code >> colon2 >> flag >> word;
    if (!in || number < 0 || colon1 != L':' || colon2 != L':' || (flag != L'0' && flag != L'1') ||
        word != L"--")
        return std::nullopt;
    long long kind = code >> 8;
    if (kind < 0 || kind > static_cast<long long>(RecordKind::DirectXSetup))
        return std::nullopt;

    UninstallLogRecord record;
    record.recordKind = static_cast<RecordKind>(kind);
    record.fileKind = (code & 0xFF) == 0xFF ? -1 : static_cast<std::int32_t>(code & 0xFF);
    record.succeeded = flag == L'1';
    if (record.recordKind != RecordKind::UninstallKey && record.recordKind != RecordKind::SelfRegistration) {
        std::wstring rest;
        std::getline(in, rest);
        boost::algorithm::trim_left(rest);
        record.path = std::move(rest);
    }
    return record;
}

bool LogParser::feed(std::wstring line)
{
    boost::algorithm::trim_right(line);
    bool keepReading = line.compare(0, 2, L"//") == 0 ? headerLine(std::move(line)) : [&] {
        if (version_ != 1)
            return false;
        std::optional<UninstallLogRecord> record = parseRecordLine(line);
        if (!record)
            return false;
        records.push_back(std::move(*record));
        return true;
    }();
    if (keepReading)
        ++lineNumber_;
    return keepReading;
}

bool LogParser::headerLine(std::wstring text)
{
    text.erase(0, text.find_first_not_of(L'/'));
    boost::algorithm::trim_left(text);

    switch (lineNumber_) {
    case 0:
        if (std::optional<std::wstring> rest = after(text, versionLabel)) {
            std::wistringstream in(*rest);
            in >> version_;
        }
        return version_ == 1;
    case 2: {
        std::optional<std::wstring> rest = after(text, productLabel);
        if (!rest)
            return false;
        std::wstring::size_type dashes = rest->find(L"--");
        if (dashes != std::wstring::npos)
            rest->erase(dashes);
        boost::algorithm::trim(*rest);
        previousProduct = std::move(*rest);
        return true;
    }
    case 3:
    case 4: {
        std::optional<std::wstring> rest =
            after(text, lineNumber_ == 3 ? installPathLabel : shortcutPathLabel);
        if (!rest)
            return false;
        boost::algorithm::trim(*rest);
        (lineNumber_ == 3 ? installPath : shortcutPath) = std::move(*rest);
        return true;
    }
    default:
        return true;
    }
}

} // namespace ar
