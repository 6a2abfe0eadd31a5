#include "support/elevated_files.h"

#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "support/path_rules.h"

namespace ar {
namespace {

// What lets an account rearrange a folder or what is in it: add or remove entries,
// rename or delete it, change its access list or its owner. Entries that apply only
// to the files below count as well: they would let the account rewrite those.
constexpr ACCESS_MASK changingAccess = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE |
                                       WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// NT SERVICE\TrustedInstaller, which owns the system's own folders.
constexpr wchar_t trustedInstallerSid[] = L"S-1-5-80-956008885-3418522649-1831038044-1850952686-2271371601";

bool isTrustedInstaller(PSID sid)
{
    PSID installer = nullptr;
    if (!ConvertStringSidToSidW(trustedInstallerSid, &installer))
        return false;
    unique_hlocal held(installer);
    return EqualSid(sid, installer) != FALSE;
}

bool isTrustedAccount(PSID sid, PSID ownAccount)
{
    return IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || IsWellKnownSid(sid, WinLocalSystemSid) ||
           isTrustedInstaller(sid) || (ownAccount && EqualSid(sid, ownAccount));
}

// The access of an allow entry; false for other kinds of entry.
bool allowEntry(ACE_HEADER* ace, PSID& sid, ACCESS_MASK& mask)
{
    switch (ace->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
        // The mask follows the header in every kind of entry.
        mask = *reinterpret_cast<ACCESS_MASK*>(reinterpret_cast<BYTE*>(ace) + sizeof(ACE_HEADER));
        sid = aceSid(ace);
        return sid != nullptr;
    default:
        return false;
    }
}

std::vector<BYTE> tokenInformation(TOKEN_INFORMATION_CLASS kind)
{
    unique_handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return {};
    DWORD size = 0;
    GetTokenInformation(token.get(), kind, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !GetTokenInformation(token.get(), kind, buffer.data(), size, &size))
        return {};
    return buffer;
}

std::wstring dosPath(std::wstring path)
{
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0)
        return L"\\\\" + path.substr(8);
    if (path.rfind(L"\\\\?\\", 0) == 0)
        return path.substr(4);
    return path;
}

// Where `root` leads, as the file system names it.
std::wstring resolvedRoot(const std::wstring& root)
{
    unique_hfile handle(CreateFileW(root.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return handle ? finalPathOf(handle.get()) : std::wstring();
}

// Checks what `handle` opened for `names` below `root` (already resolved).
bool isAsIntended(HANDLE handle, NodeKind kind, const std::wstring& resolved,
                  const std::vector<std::wstring>& names)
{
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(handle, &information))
        return false;
    if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        SetLastError(errorStoppedOnLink);
        return false;
    }
    const bool folder = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (folder != (kind == NodeKind::Folder)) {
        SetLastError(ERROR_DIRECTORY);
        return false;
    }
    if (!folder && information.nNumberOfLinks != 1) {
        SetLastError(ERROR_TOO_MANY_LINKS);
        return false;
    }
    // A link anywhere on the way shows in the final path.
    std::wstring expected = resolved;
    for (const std::wstring& name : names)
        expected += L'\\' + name;
    if (!samePlainPath(finalPathOf(handle), expected)) {
        SetLastError(errorStoppedOnLink);
        return false;
    }
    return true;
}

// The names of `path` below `root`, and where `root` leads; false with the last
// error set when `path` is not below it or `root` cannot be opened.
bool locate(const std::wstring& root, const std::wstring& path, std::vector<std::wstring>& names,
            std::wstring& resolved)
{
    auto below = namesBelow(path, root);
    if (!below) {
        SetLastError(ERROR_BAD_PATHNAME);
        return false;
    }
    names = std::move(*below);
    resolved = resolvedRoot(root);
    return !resolved.empty();
}

unique_hfile keepIfIntended(unique_hfile handle, NodeKind kind, const std::wstring& resolved,
                            const std::vector<std::wstring>& names)
{
    if (!handle || isAsIntended(handle.get(), kind, resolved, names))
        return handle;
    const DWORD error = GetLastError();
    handle.reset();
    SetLastError(error);
    return {};
}

} // namespace

PSID aceSid(ACE_HEADER* ace)
{
    auto* bytes = reinterpret_cast<BYTE*>(ace);
    switch (ace->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_DENIED_ACE_TYPE:
    case SYSTEM_AUDIT_ACE_TYPE:
    case SYSTEM_ALARM_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE:
    case SYSTEM_AUDIT_CALLBACK_ACE_TYPE:
        // header, mask, identity
        return bytes + sizeof(ACE_HEADER) + sizeof(ACCESS_MASK);
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_OBJECT_ACE_TYPE:
    case SYSTEM_AUDIT_OBJECT_ACE_TYPE:
    case SYSTEM_ALARM_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
    case SYSTEM_AUDIT_CALLBACK_OBJECT_ACE_TYPE: {
        // header, mask, flags, the object types that the flags announce, identity
        auto* object = reinterpret_cast<ACCESS_ALLOWED_OBJECT_ACE*>(ace);
        std::size_t offset = sizeof(ACE_HEADER) + sizeof(ACCESS_MASK) + sizeof(DWORD);
        if (object->Flags & ACE_OBJECT_TYPE_PRESENT)
            offset += sizeof(GUID);
        if (object->Flags & ACE_INHERITED_OBJECT_TYPE_PRESENT)
            offset += sizeof(GUID);
        return bytes + offset;
    }
    default:
        return nullptr;
    }
}

unique_hlocal descriptorFromSddl(const wchar_t* sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        return {};
    return unique_hlocal(descriptor);
}

FolderTrust judgeFolderDescriptor(PSECURITY_DESCRIPTOR descriptor, PSID ownAccount)
{
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !owner ||
        !isTrustedAccount(owner, ownAccount))
        return FolderTrust::OwnerNotTrusted;
    BOOL present = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl)
        return FolderTrust::NoAccessList;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(dacl, i, &entry))
            return FolderTrust::OthersCanChangeIt;
        PSID sid = nullptr;
        ACCESS_MASK mask = 0;
        if (!allowEntry(static_cast<ACE_HEADER*>(entry), sid, mask) || !(mask & changingAccess))
            continue;
        if (!isTrustedAccount(sid, ownAccount) && !IsWellKnownSid(sid, WinCreatorOwnerSid))
            return FolderTrust::OthersCanChangeIt;
    }
    return FolderTrust::Trusted;
}

std::vector<BYTE> ownTrustedAccount()
{
    std::vector<BYTE> owner = tokenInformation(TokenOwner);
    if (owner.empty() ||
        IsWellKnownSid(reinterpret_cast<TOKEN_OWNER*>(owner.data())->Owner, WinBuiltinAdministratorsSid))
        return {};
    std::vector<BYTE> user = tokenInformation(TokenUser);
    if (user.empty())
        return {};
    PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    const BYTE* bytes = static_cast<const BYTE*>(sid);
    return std::vector<BYTE>(bytes, bytes + GetLengthSid(sid));
}

FolderTrust judgeFolder(HANDLE handle)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD error =
        GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                        nullptr, nullptr, nullptr, nullptr, &descriptor);
    unique_hlocal held(descriptor);
    if (error != ERROR_SUCCESS)
        return FolderTrust::OwnerNotTrusted;
    std::vector<BYTE> own = ownTrustedAccount();
    return judgeFolderDescriptor(descriptor, own.empty() ? nullptr : own.data());
}

std::wstring finalPathOf(HANDLE handle)
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD length = GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                                 FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0)
            return {};
        if (length < buffer.size())
            return dosPath(std::wstring(buffer.data(), length));
        buffer.resize(length + 1);
    }
}

unique_hfile openBelow(const std::wstring& root, const std::wstring& path, NodeKind kind, DWORD access,
                       DWORD share)
{
    std::vector<std::wstring> names;
    std::wstring resolved;
    if (!locate(root, path, names, resolved))
        return {};
    unique_hfile handle(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return keepIfIntended(std::move(handle), kind, resolved, names);
}

unique_hfile createBelow(const std::wstring& root, const std::wstring& path, DWORD access, DWORD share,
                         PSECURITY_DESCRIPTOR descriptor)
{
    std::vector<std::wstring> names;
    std::wstring resolved;
    if (!locate(root, path, names, resolved))
        return {};
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    unique_hfile handle(CreateFileW(path.c_str(), access | DELETE, share, descriptor ? &attributes : nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr));
    if (!handle || isAsIntended(handle.get(), NodeKind::File, resolved, names))
        return handle;
    // Created, but not where it was meant to be: through a link planted on the way.
    const DWORD error = GetLastError();
    deleteThrough(handle.get());
    handle.reset();
    SetLastError(error);
    return {};
}

unique_hfile createFolderBelow(const std::wstring& root, const std::wstring& path, DWORD access,
                               PSECURITY_DESCRIPTOR descriptor)
{
    std::vector<std::wstring> names;
    std::wstring resolved;
    if (!locate(root, path, names, resolved))
        return {};
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    if (!CreateDirectoryW(path.c_str(), descriptor ? &attributes : nullptr))
        return {};
    unique_hfile handle(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr));
    return keepIfIntended(std::move(handle), NodeKind::Folder, resolved, names);
}

bool deleteThrough(HANDLE handle)
{
    FILE_BASIC_INFO basic{};
    if (GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) &&
        (basic.FileAttributes & FILE_ATTRIBUTE_READONLY)) {
        basic.FileAttributes &= ~DWORD(FILE_ATTRIBUTE_READONLY);
        if (basic.FileAttributes == 0)
            basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic);
    }
    FILE_DISPOSITION_INFO disposition{TRUE};
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

bool renameThrough(HANDLE handle, const std::wstring& target, bool replace)
{
    // The target in the object manager's form, which the call takes as it is.
    const std::wstring name = L"\\??\\" + target;
    std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = replace ? TRUE : FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::copy(name.begin(), name.end(), rename->FileName);
    return SetFileInformationByHandle(handle, FileRenameInfo, rename, static_cast<DWORD>(buffer.size())) !=
           FALSE;
}

DWORD setAccessThrough(HANDLE handle, const wchar_t* sddl, bool takeOwnership)
{
    unique_hlocal descriptor = descriptorFromSddl(sddl);
    if (!descriptor)
        return GetLastError();
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted))
        return GetLastError();
    BYTE administrators[SECURITY_MAX_SID_SIZE] = {};
    DWORD size = sizeof administrators;
    if (takeOwnership && !CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size))
        return GetLastError();
    SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION;
    if (takeOwnership)
        what |= OWNER_SECURITY_INFORMATION;
    return SetSecurityInfo(handle, SE_FILE_OBJECT, what, takeOwnership ? administrators : nullptr, nullptr,
                           dacl, nullptr);
}

bool deleteBelow(const std::wstring& root, const std::wstring& path, NodeKind kind)
{
    unique_hfile handle = openBelow(root, path, kind, deleteAccess, FILE_SHARE_READ | FILE_SHARE_DELETE);
    if (!handle) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    return deleteThrough(handle.get());
}

} // namespace ar
