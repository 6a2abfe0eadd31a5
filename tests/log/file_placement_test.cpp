// Backups to temporary names and the Users group's access to data files.
#include "log/file_placement.h"

#include "tests/log/log_test_support.h"

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <memory>

namespace ar::test {
namespace {

class BackupToTemp : public JournalTest {};

TEST_F(BackupToTemp, WithoutFileGivesAFreshNameInTheTemporaryFolder)
{
    std::wstring name = backup_to_temp(std::nullopt, false);
    ASSERT_FALSE(name.empty());
    EXPECT_EQ(name.rfind(temp.path() + L"\\ar", 0), 0u);
    EXPECT_FALSE(exists(name));
}

TEST_F(BackupToTemp, MoveAndCopyKeepTheAttributes)
{
    std::wstring file = dir / L"a.txt";
    writeFile(file, "content");
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);

    std::wstring copy = backup_to_temp(file, true);
    ASSERT_FALSE(copy.empty());
    EXPECT_EQ(readFile(copy), "content");
    EXPECT_TRUE(GetFileAttributesW(copy.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_READONLY);

    std::wstring moved = backup_to_temp(file, false);
    ASSERT_FALSE(moved.empty());
    EXPECT_NE(moved, copy);
    EXPECT_FALSE(exists(file));
    EXPECT_EQ(readFile(moved), "content");
    EXPECT_TRUE(GetFileAttributesW(moved.c_str()) & FILE_ATTRIBUTE_READONLY);
}

TEST_F(BackupToTemp, FailsWithoutRoomForANameOrForAFolder)
{
    std::wstring file = dir / L"a.txt";
    writeFile(file, "content");
    {
        TempFolderOverride longTemp(L"C:\\" + std::wstring(243, L't') + L"\\"); // 247 units
        EXPECT_EQ(backup_to_temp(file, false), L"");
        EXPECT_EQ(backup_to_temp(std::nullopt, false), L"");
    }
    EXPECT_EQ(readFile(file), "content");
    // A missing file, and a folder, are not backed up.
    EXPECT_EQ(backup_to_temp(dir / L"missing.txt", false), L"");
    EXPECT_EQ(backup_to_temp(dir.path(), false), L"");
    EXPECT_TRUE(exists(file));
    EXPECT_TRUE(tempFiles().empty());
}

// Access lists built from text, for tests.
std::unique_ptr<void, decltype(&LocalFree)> descriptorFromText(const wchar_t* text)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    EXPECT_TRUE(
        ConvertStringSecurityDescriptorToSecurityDescriptorW(text, SDDL_REVISION_1, &descriptor, nullptr));
    return {descriptor, &LocalFree};
}

std::wstring aclText(ACL* acl)
{
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
    wchar_t* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(&descriptor, SDDL_REVISION_1,
                                                              DACL_SECURITY_INFORMATION, &text, nullptr))
        return L"?";
    std::wstring result = text;
    LocalFree(text);
    return result;
}

ACL* daclOf(PSECURITY_DESCRIPTOR descriptor)
{
    BOOL present = FALSE, defaulted = FALSE;
    ACL* acl = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted);
    return present ? acl : nullptr;
}

struct UsersSid {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    UsersSid()
    {
        DWORD size = sizeof sid;
        CreateWellKnownSid(WinBuiltinUsersSid, nullptr, sid, &size);
    }
};

TEST(UsersModifyAcl, UsersEntryGoesAfterExplicitAndBeforeInheritedEntries)
{
    UsersSid users;
    // Explicit: Administrators, Users (denied), Everyone; inherited: SYSTEM, Users.
    auto old = descriptorFromText(L"D:AI(A;;FA;;;BA)(D;;FW;;;BU)(A;;FR;;;WD)(A;ID;FA;;;SY)(A;ID;FR;;;BU)");
    std::vector<BYTE> acl;
    ASSERT_EQ(buildUsersModifyAcl(daclOf(old.get()), users.sid, acl), S_OK);
    EXPECT_EQ(aclText(reinterpret_cast<ACL*>(acl.data())),
              L"D:(A;;FA;;;BA)(A;;FR;;;WD)(A;;0x13019f;;;BU)(A;ID;FA;;;SY)");

    // Without inherited entries it goes last; without a list it stands alone.
    auto explicitOnly = descriptorFromText(L"D:(A;;FA;;;BA)");
    ASSERT_EQ(buildUsersModifyAcl(daclOf(explicitOnly.get()), users.sid, acl), S_OK);
    EXPECT_EQ(aclText(reinterpret_cast<ACL*>(acl.data())), L"D:(A;;FA;;;BA)(A;;0x13019f;;;BU)");
    ASSERT_EQ(buildUsersModifyAcl(nullptr, users.sid, acl), S_OK);
    EXPECT_EQ(aclText(reinterpret_cast<ACL*>(acl.data())), L"D:(A;;0x13019f;;;BU)");
}

class GrantUsersModify : public JournalTest {};

TEST_F(GrantUsersModify, StoresTheListOnTheFile)
{
    std::wstring file = dir / L"lib.pm-lib";
    writeFile(file, "");

    // Can this file system keep an access list at all? Store a distinctive one and read it back.
    auto probe = descriptorFromText(L"D:(A;;0x1301bf;;;WD)(A;;FA;;;BA)");
    ASSERT_TRUE(SetFileSecurityW(file.c_str(), DACL_SECURITY_INFORMATION, probe.get()));
    auto readList = [&] {
        DWORD needed = 0;
        GetFileSecurityW(file.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
        std::vector<BYTE> descriptor(needed ? needed : 1);
        if (!GetFileSecurityW(file.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), needed, &needed))
            return std::wstring(L"?");
        return aclText(daclOf(descriptor.data()));
    };
    std::wstring stored = readList();

    EXPECT_TRUE(grant_users_modify(file));
    if (stored != L"D:(A;;0x1301bf;;;WD)(A;;FA;;;BA)")
        GTEST_SKIP() << "this file system does not keep the access lists written to it (read back "
                     << narrow(stored) << "), so only the result of grant_users_modify was checked";
    EXPECT_EQ(readList(), L"D:(A;;0x1301bf;;;WD)(A;;FA;;;BA)(A;;0x13019f;;;BU)");
}

} // namespace
} // namespace ar::test
