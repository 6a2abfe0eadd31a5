// The run's private folder: its access list, built as a value (Wine stores an
// access list but reads back entries of its own, so the list is checked here as
// built), and the folder itself: never adopted, never renamed while held.
#include "engine/private_folder.h"

#include <sddl.h>

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace {

std::wstring sidText(PSID sid)
{
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text))
        return {};
    std::wstring result = text;
    LocalFree(text);
    return result;
}

TEST(PrivateFolder, AccessListGrantsOnlyAdministratorsAndSystemAndInheritsNothing)
{
    ar::unique_hlocal descriptor = ar::privateFolderDescriptor();
    ASSERT_TRUE(descriptor);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor.get(), &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED);
    EXPECT_TRUE(control & SE_DACL_PRESENT);

    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.get(), &present, &acl, &defaulted));
    ASSERT_TRUE(present && acl);
    ASSERT_EQ(acl->AceCount, 2u);
    std::vector<std::wstring> sids;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        void* entry = nullptr;
        ASSERT_TRUE(GetAce(acl, i, &entry));
        auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
        EXPECT_EQ(ace->Mask, static_cast<ACCESS_MASK>(FILE_ALL_ACCESS));
        sids.push_back(sidText(&ace->SidStart));
    }
    EXPECT_EQ(sids, (std::vector<std::wstring>{L"S-1-5-32-544", L"S-1-5-18"}));
}

TEST(PrivateFolder, IsCreatedFreshAndCannotBeRenamedWhileHeld)
{
    ar::test::TempDir dir(L"private");
    const std::wstring path = dir / L"ardenvale_{x}";
    ar::PrivateFolder folder;
    ASSERT_TRUE(folder.create(path));
    EXPECT_TRUE(ar::test::exists(path));
    ar::test::writeFile(path + L"\\DSETUP.dll", "library");

    // Swapping the folder for another between the check and the load is refused.
    EXPECT_FALSE(MoveFileW(path.c_str(), (dir / L"moved").c_str()));
    EXPECT_TRUE(ar::test::exists(path + L"\\DSETUP.dll"));

    // Someone else's folder of the same name is never taken over.
    ar::PrivateFolder second;
    EXPECT_FALSE(second.create(path));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

    folder.close();
    DeleteFileW((path + L"\\DSETUP.dll").c_str());
    EXPECT_TRUE(RemoveDirectoryW(path.c_str()));
}

} // namespace
