#include "support/elevated_files.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include "tests/support/test_support.h"

namespace {

using ar::FolderTrust;

FolderTrust judged(const wchar_t* sddl, const wchar_t* own = nullptr)
{
    ar::unique_hlocal descriptor = ar::descriptorFromSddl(sddl);
    EXPECT_TRUE(descriptor) << ar::test::narrow(sddl);
    PSID ownSid = nullptr;
    if (own) {
        EXPECT_TRUE(ConvertStringSidToSidW(own, &ownSid));
    }
    ar::unique_hlocal heldSid(ownSid);
    return ar::judgeFolderDescriptor(descriptor.get(), ownSid);
}

TEST(FolderDescriptor, OnlyAListThatLeavesOthersNoWayToRearrangeIsTrusted)
{
    const wchar_t* user = L"S-1-5-21-1-2-3-1001";
    // What the installer gives its own folders.
    EXPECT_EQ(judged(L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)"), FolderTrust::Trusted);
    EXPECT_EQ(judged(L"O:SYD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)"), FolderTrust::Trusted);
    // The system's own owner, a creator-owner entry (nobody else can create) and a
    // deny entry take nothing away from that.
    EXPECT_EQ(judged(L"O:S-1-5-80-956008885-3418522649-1831038044-1850952686-2271371601"
                     L"D:(A;OICI;FA;;;BA)(A;OICIIO;FA;;;CO)(D;;FA;;;WD)"),
              FolderTrust::Trusted);
    // A folder that a standard user made or opened up.
    EXPECT_EQ(judged(L"O:BAD:(A;OICI;FA;;;BA)(A;OICIID;0x1301bf;;;AU)"), FolderTrust::OthersCanChangeIt);
    EXPECT_EQ(judged(L"O:BAD:(A;OICI;FA;;;BA)(A;CIID;0x6;;;BU)"), FolderTrust::OthersCanChangeIt);
    EXPECT_EQ(judged(L"O:BAD:P(A;OICI;FA;;;BA)(A;OIIO;GW;;;WD)"), FolderTrust::OthersCanChangeIt);
    EXPECT_EQ(judged(L"O:BAD:P(A;;FA;;;BA)(A;;WD;;;BU)"), FolderTrust::OthersCanChangeIt);
    EXPECT_EQ((judged((std::wstring(L"O:") + user + L"D:P(A;OICI;FA;;;BA)").c_str())),
              FolderTrust::OwnerNotTrusted);
    EXPECT_EQ(judged(L"O:BA"), FolderTrust::NoAccessList);
    // The account this process gives what it creates, where that is not the
    // Administrators group, is its own.
    const std::wstring own = std::wstring(L"O:") + user + L"D:(A;OICI;FA;;;" + user + L")(A;OICI;FA;;;SY)";
    EXPECT_EQ(judged(own.c_str()), FolderTrust::OwnerNotTrusted);
    EXPECT_EQ(judged(own.c_str(), user), FolderTrust::Trusted);
}

// Host links, which Wine follows as Windows follows links and junctions.
class ElevatedFiles : public ::testing::Test {
protected:
    ar::test::TempDir root{L"elevated"};
    ar::test::TempDir elsewhere{L"victim"};
    std::wstring victim = elsewhere.path() + L"\\victim.dll";

    void SetUp() override { ar::test::writeFile(victim, "not the product's"); }

    void link(const std::wstring& target, const std::wstring& name)
    {
        ASSERT_TRUE(
            ar::test::hostShell("ln -s " + ar::test::hostPath(target) + " " + ar::test::hostPath(name)));
    }
};

TEST_F(ElevatedFiles, NothingIsOpenedCreatedOrDeletedThroughALink)
{
    const std::wstring base = root.path();
    CreateDirectoryW((base + L"\\Plain").c_str(), nullptr);
    ar::test::writeFile(base + L"\\Plain\\own.dll", "own");
    link(victim, base + L"\\file-link.dll");
    link(elsewhere.path(), base + L"\\folder-link");
    link(base + L"\\Plain\\nowhere.dll", base + L"\\dangling.dll");

    // The plain ones are what they seem.
    EXPECT_TRUE(ar::openBelow(base, base + L"\\Plain\\own.dll", ar::NodeKind::File, GENERIC_READ));
    EXPECT_TRUE(ar::openBelow(base, base + L"\\Plain", ar::NodeKind::Folder, FILE_READ_ATTRIBUTES));
    EXPECT_FALSE(ar::openBelow(base, base + L"\\Plain", ar::NodeKind::File, GENERIC_READ));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DIRECTORY));
    // A link to a file, a linked folder and a path through it are refused.
    for (const std::wstring& path : {base + L"\\file-link.dll", base + L"\\folder-link\\victim.dll"}) {
        EXPECT_FALSE(ar::openBelow(base, path, ar::NodeKind::File, GENERIC_READ)) << ar::test::narrow(path);
        EXPECT_EQ(GetLastError(), ar::errorStoppedOnLink);
        EXPECT_FALSE(ar::deleteBelow(base, path));
    }
    EXPECT_FALSE(ar::openBelow(base, base + L"\\folder-link", ar::NodeKind::Folder, FILE_READ_ATTRIBUTES));
    EXPECT_EQ(ar::test::readFile(victim), "not the product's");
    // A dangling link is never written through, nor a new file created through a
    // linked folder.
    EXPECT_FALSE(ar::createBelow(base, base + L"\\dangling.dll", GENERIC_WRITE, 0));
    EXPECT_FALSE(ar::test::exists(base + L"\\Plain\\nowhere.dll"));
    EXPECT_FALSE(ar::createBelow(base, base + L"\\folder-link\\planted.dll", GENERIC_WRITE, 0));
    EXPECT_FALSE(ar::test::exists(elsewhere.path() + L"\\planted.dll"));
    // A path outside the root is not below it.
    EXPECT_FALSE(ar::openBelow(base + L"\\Plain", victim, ar::NodeKind::File, GENERIC_READ));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_BAD_PATHNAME));
    // Deleting through a handle takes a read-only file too.
    SetFileAttributesW((base + L"\\Plain\\own.dll").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(ar::deleteBelow(base, base + L"\\Plain\\own.dll"));
    EXPECT_FALSE(ar::test::exists(base + L"\\Plain\\own.dll"));
}

} // namespace
