#include "log/log_digest.h"

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>

#include "support/handles.h"

namespace ar {

std::wstring logDigest(const std::string& bytes)
{
    // CryptoAPI lives in advapi32, which the programs load anyway.
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
        return {};
    unsigned char digest[32] = {};
    DWORD length = sizeof digest;
    HCRYPTHASH hash = 0;
    bool ok = CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash) != FALSE;
    for (std::size_t done = 0; ok && done < bytes.size();) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        ok = CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data() + done), piece, 0) != FALSE;
        done += piece;
    }
    ok = ok && CryptGetHashParam(hash, HP_HASHVAL, digest, &length, 0) && length == sizeof digest;
    if (hash)
        CryptDestroyHash(hash);
    CryptReleaseContext(provider, 0);
    if (!ok)
        return {};
    static constexpr wchar_t hex[] = L"0123456789abcdef";
    std::wstring text;
    for (unsigned char byte : digest) {
        text += hex[byte >> 4];
        text += hex[byte & 15];
    }
    return text;
}

std::wstring digestOfOpenFile(void* file)
{
    LARGE_INTEGER size{}, start{};
    if (!GetFileSizeEx(file, &size) || size.QuadPart > 64 * 1024 * 1024 ||
        !SetFilePointerEx(file, start, nullptr, FILE_BEGIN))
        return {};
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() && (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size()))
        return {};
    return logDigest(bytes);
}

bool readWholeFile(const std::wstring& path, std::string& bytes, unsigned long long limit)
{
    bytes.clear();
    unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || static_cast<unsigned long long>(size.QuadPart) > limit)
        return false;
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    return bytes.empty() ||
           (ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
            read == bytes.size());
}

} // namespace ar
