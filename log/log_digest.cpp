#include "log/log_digest.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>

#include "support/handles.h"

namespace ar {

std::wstring logDigest(const std::string& bytes)
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        return {};
    unsigned char digest[32] = {};
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool ok = BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
    // Hashed in pieces: BCryptHashData takes a ULONG length.
    for (std::size_t done = 0; ok && done < bytes.size();) {
        const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        ok = BCRYPT_SUCCESS(
            BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data() + done)), piece, 0));
        done += piece;
    }
    ok = ok && BCRYPT_SUCCESS(BCryptFinishHash(hash, digest, sizeof digest, 0));
    if (hash)
        BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(algorithm, 0);
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
