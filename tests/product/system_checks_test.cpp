#include "product/system_checks.h"

#include <sddl.h>

#include <gtest/gtest.h>

#include <map>

namespace {

DWORD WINAPI acquireFromThread(void* lock)
{
    return static_cast<ar::InstanceLock*>(lock)->acquire() ? 1 : 0;
}

TEST(SystemVersion, RuleTable)
{
    EXPECT_TRUE(ar::judgeSystemVersion(true, 6, 1, 0).passes);
    EXPECT_TRUE(ar::judgeSystemVersion(true, 10, 0, 0).passes);
    EXPECT_TRUE(ar::judgeSystemVersion(true, 4, 0, 0).passes);
    EXPECT_TRUE(ar::judgeSystemVersion(true, 5, 1, 3).passes);
    EXPECT_TRUE(ar::judgeSystemVersion(true, 5, 2, 2).passes);

    auto xpSp2 = ar::judgeSystemVersion(true, 5, 1, 2);
    EXPECT_FALSE(xpSp2.passes);
    EXPECT_STREQ(xpSp2.text, ar::incompatibleSystemText);
    EXPECT_FALSE(ar::judgeSystemVersion(true, 5, 2, 1).passes);
    auto w2000 = ar::judgeSystemVersion(true, 5, 0, 4);
    EXPECT_FALSE(w2000.passes);
    EXPECT_STREQ(w2000.text, L"Unknown System Version");
    auto noSse2 = ar::judgeSystemVersion(false, 10, 0, 0);
    EXPECT_FALSE(noSse2.passes);
    EXPECT_STREQ(noSse2.text, ar::incompatibleSystemText);
}

TEST(NamedObjects, CarryTheGlobalPrefixAndStem)
{
    EXPECT_EQ(ar::instanceMutexName(), L"Global\\Pelorium7.{5ead623c-dfcd-474d-8e3c-e6978cac039e}");
    EXPECT_EQ(ar::runningSemaphoreName(), L"Global\\Pelorium7.{a3526b56-ca7c-4e16-8a26-da7758a378fd}");
}

// Wine keeps no access list on named objects, so the lists are read as built: what
// each of Administrators, SYSTEM and Everyone is granted, and nothing else.
TEST(NamedObjects, EveryoneGetsOnlyWhatWaitingAndCountingTake)
{
    struct Expected {
        const wchar_t* sddl;
        ACCESS_MASK full;
        ACCESS_MASK everyone;
    };
    for (const Expected& object :
         {Expected{ar::instanceMutexSddl, MUTEX_ALL_ACCESS, SYNCHRONIZE},
          Expected{ar::runningSemaphoreSddl, SEMAPHORE_ALL_ACCESS, SYNCHRONIZE | SEMAPHORE_MODIFY_STATE}}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(object.sddl)));
        ar::unique_hlocal descriptor = ar::namedObjectDescriptor(object.sddl);
        ASSERT_TRUE(descriptor);
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        ASSERT_TRUE(GetSecurityDescriptorControl(descriptor.get(), &control, &revision));
        EXPECT_TRUE(control & SE_DACL_PROTECTED);
        BOOL present = FALSE, defaulted = FALSE;
        PACL acl = nullptr;
        ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.get(), &present, &acl, &defaulted));
        ASSERT_TRUE(present && acl);
        std::map<std::wstring, ACCESS_MASK> granted;
        for (DWORD i = 0; i < acl->AceCount; ++i) {
            void* entry = nullptr;
            ASSERT_TRUE(GetAce(acl, i, &entry));
            auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(entry);
            EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
            wchar_t* sid = nullptr;
            ASSERT_TRUE(ConvertSidToStringSidW(&ace->SidStart, &sid));
            granted[sid] |= ace->Mask;
            LocalFree(sid);
        }
        EXPECT_EQ(granted, (std::map<std::wstring, ACCESS_MASK>{{L"S-1-5-32-544", object.full},
                                                                {L"S-1-5-18", object.full},
                                                                {L"S-1-1-0", object.everyone}}));
    }
    // The product's processes open the counter with no more than Everyone is granted.
    EXPECT_EQ(ar::runningSemaphoreAccess & ~static_cast<DWORD>(SYNCHRONIZE | SEMAPHORE_MODIFY_STATE), 0u);
}

TEST(RunningCounter, CountsThisProcessWithoutChangingTheCount)
{
    ASSERT_TRUE(ar::registerRunningInstance());
    long first = ar::countRunningInstances();
    EXPECT_GE(first, 1);
    EXPECT_EQ(ar::countRunningInstances(), first);
    // Registering again does not add a second unit for the same process.
    ASSERT_TRUE(ar::registerRunningInstance());
    EXPECT_EQ(ar::countRunningInstances(), first);
}

TEST(InstanceLock, SecondHolderIsRefusedUntilReleased)
{
    ar::InstanceLock first;
    ar::InstanceLock second;
    ASSERT_TRUE(first.acquire());
    EXPECT_TRUE(first.owned());
    // A mutex is re-entrant within a thread; another thread must be refused.
    HANDLE thread = CreateThread(nullptr, 0, acquireFromThread, &second, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    DWORD code = 1;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    EXPECT_EQ(code, 0u);

    first.release();
    EXPECT_FALSE(first.owned());
}

TEST(Administrator, WineUserIsAnAdministrator)
{
    EXPECT_TRUE(ar::isUserAdministrator());
}

} // namespace
