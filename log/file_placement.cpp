#include "log/file_placement.h"

#include "log/security_functions.h"
#include "support/elevated_files.h"
#include "support/path_rules.h"

#include <aclapi.h>

#include <algorithm>
#include <memory>
#include <new>

namespace ar {

namespace {

// Longest temporary folder that still leaves room for a generated name ("arXXXX.tmp").
constexpr DWORD maxTempFolderLength = 246;

SecurityFunction<decltype(&::AllocateAndInitializeSid)> allocateAndInitializeSid("AllocateAndInitializeSid");
SecurityFunction<decltype(&::FreeSid)> freeSid("FreeSid");
SecurityFunction<decltype(&::GetLengthSid)> getLengthSid("GetLengthSid");
SecurityFunction<decltype(&::EqualSid)> equalSid("EqualSid");
SecurityFunction<decltype(&::GetAclInformation)> getAclInformation("GetAclInformation");
SecurityFunction<decltype(&::GetAce)> getAce("GetAce");
SecurityFunction<decltype(&::InitializeAcl)> initializeAcl("InitializeAcl");
SecurityFunction<decltype(&::AddAce)> addAce("AddAce");
SecurityFunction<decltype(&::AddAccessAllowedAceEx)> addAccessAllowedAceEx("AddAccessAllowedAceEx");

struct SidFree {
    void operator()(PSID sid) const
    {
        HRESULT ignored;
        if (auto fn = freeSid.get(ignored))
            fn(sid);
    }
};
using unique_sid = std::unique_ptr<void, SidFree>;

HRESULT grantUsersModify(const std::wstring& file)
{
    HRESULT hr;
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID rawUsers = nullptr;
    if (FAILED(hr = allocateAndInitializeSid.call(&ntAuthority, BYTE(2), DWORD(SECURITY_BUILTIN_DOMAIN_RID),
                                                  DWORD(DOMAIN_ALIAS_RID_USERS), DWORD(0), DWORD(0), DWORD(0),
                                                  DWORD(0), DWORD(0), DWORD(0), &rawUsers)))
        return hr;
    unique_sid users(rawUsers);

    // The file as it is, a plain file with one name, never one that a link leads to:
    // its list is read and stored through that handle.
    unique_hfile handle = openBelow(parentOf(file), file, NodeKind::File, READ_CONTROL | WRITE_DAC);
    if (!handle)
        return lastErrorResult();
    PSECURITY_DESCRIPTOR oldDescriptor = nullptr;
    PACL oldAcl = nullptr;
    DWORD error = GetSecurityInfo(handle.get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                  &oldAcl, nullptr, &oldDescriptor);
    unique_hlocal heldDescriptor(oldDescriptor);
    if (error != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(error);

    std::vector<BYTE> acl;
    if (FAILED(hr = buildUsersModifyAcl(oldAcl, users.get(), acl)))
        return hr;

    // Keep how the old list took part in inheritance.
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION;
    if (GetSecurityDescriptorControl(oldDescriptor, &control, &revision) && (control & SE_DACL_PROTECTED))
        what |= PROTECTED_DACL_SECURITY_INFORMATION;
    error = SetSecurityInfo(handle.get(), SE_FILE_OBJECT, what, nullptr, nullptr,
                            reinterpret_cast<PACL>(acl.data()), nullptr);
    return HRESULT_FROM_WIN32(error);
}

} // namespace

bool deleteFile(const std::wstring& file)
{
    return deleteBelow(parentOf(file), file);
}

std::wstring backup_to_temp(const std::optional<std::wstring>& file, bool copy, const std::wstring& folder)
{
    wchar_t target[MAX_PATH];
    if (folder.empty()) {
        DWORD length = GetTempPathW(MAX_PATH, target);
        if (length == 0 || length > maxTempFolderLength)
            return {};
    } else {
        if (folder.size() > maxTempFolderLength) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return {};
        }
        lstrcpynW(target, folder.c_str(), MAX_PATH);
    }
    wchar_t name[MAX_PATH];
    if (!GetTempFileNameW(target, L"ar", 0, name))
        return {};
    // Only the name is wanted: the backup (or a registry hive) is created under it.
    DeleteFileW(name);
    if (!file)
        return name;

    const wchar_t* source = file->c_str();
    DWORD attributes = GetFileAttributesW(source);
    bool haveAttributes = attributes != INVALID_FILE_ATTRIBUTES;
    if (haveAttributes && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        // Moving a folder away would succeed, but it could never be put back or
        // discarded as a file.
        SetLastError(ERROR_ACCESS_DENIED);
        return {};
    }
    SetFileAttributesW(source, FILE_ATTRIBUTE_NORMAL);

    if (copy) {
        if (CopyFileW(source, name, FALSE)) {
            if (haveAttributes) {
                SetFileAttributesW(source, attributes);
                SetFileAttributesW(name, attributes);
            }
            return name;
        }
    } else if (MoveFileW(source, name)) {
        if (haveAttributes)
            SetFileAttributesW(name, attributes);
        return name;
    }

    DWORD error = GetLastError();
    if (haveAttributes)
        SetFileAttributesW(source, attributes);
    if (copy)
        DeleteFileW(name); // a partial copy
    SetLastError(error);
    return {};
}

HRESULT buildUsersModifyAcl(const ACL* old, PSID users, std::vector<BYTE>& acl)
{
    HRESULT hr;
    try {
        ACL_SIZE_INFORMATION size{};
        BYTE revision = ACL_REVISION;
        if (old) {
            if (FAILED(hr = getAclInformation.call(const_cast<ACL*>(old), LPVOID(&size), DWORD(sizeof size),
                                                   AclSizeInformation)))
                return hr;
            revision = std::max<BYTE>(revision, old->AclRevision);
        }
        auto sidLength = getLengthSid.get(hr);
        auto sameSid = equalSid.get(hr);
        auto getEntry = getAce.get(hr);
        if (!sidLength || !sameSid || !getEntry)
            return hr;

        DWORD bytes = std::max<DWORD>(size.AclBytesInUse, sizeof(ACL)) + sidLength(users) + 8;
        acl.assign(bytes, 0);
        auto* newAcl = reinterpret_cast<ACL*>(acl.data());
        if (FAILED(hr = initializeAcl.call(newAcl, bytes, DWORD(revision))))
            return hr;

        bool added = false;
        auto addUsers = [&] {
            added = true;
            return addAccessAllowedAceEx.call(newAcl, DWORD(revision), DWORD(0), usersModifyMask, users);
        };
        for (DWORD i = 0; i < size.AceCount; ++i) {
            LPVOID entry = nullptr;
            if (!getEntry(const_cast<ACL*>(old), i, &entry))
                return lastErrorResult();
            auto* header = static_cast<ACE_HEADER*>(entry);
            if (!added && (header->AceFlags & INHERITED_ACE) && FAILED(hr = addUsers()))
                return hr;
            PSID sid = aceSid(header);
            if (sid && sameSid(sid, users))
                continue;
            if (FAILED(hr = addAce.call(newAcl, DWORD(revision), DWORD(MAXDWORD), entry,
                                        DWORD(header->AceSize))))
                return hr;
        }
        if (!added && FAILED(hr = addUsers()))
            return hr;
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

bool grant_users_modify(const std::wstring& file)
{
    try {
        return SUCCEEDED(grantUsersModify(file));
    } catch (const std::bad_alloc&) {
        return false;
    }
}

} // namespace ar
