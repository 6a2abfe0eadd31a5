// Folder tokens against this machine's real special folders.
#include <gtest/gtest.h>

#include <shlobj.h>

#include "payload/folder_tokens.h"
#include "tests/support/test_support.h"

namespace ar {
namespace {

using test::specialFolder;

const PayloadFolders folders{L"C:\\Program Files\\Pelorium 7", L"", L"C:\\Temp\\ardenvale_{1}"};

TEST(FolderTokens, ContextFoldersAndJoins)
{
    EXPECT_EQ(resolve_folder(L"<InstallPath>", folders), folders.installFolder);
    EXPECT_EQ(resolve_folder(L"<InstallPath>\\Lang", folders), folders.installFolder + L"\\Lang");
    EXPECT_EQ(resolve_folder(L"<InstallPath>/Lang\\\\x\\", folders), folders.installFolder + L"\\Lang\\x");
    EXPECT_EQ(resolve_folder(L"<Temporary>", folders), folders.tempFolder);
    EXPECT_EQ(resolve_folder(L"<Temporary>", {L"C:\\P", L"", L""}), L"C:\\P");
    EXPECT_EQ(resolve_folder(L"<InstallPath>\\Lang", {L"C:\\", L"", L""}), L"C:\\Lang");
    EXPECT_EQ(resolve_folder(L"<InstallPath>\\Lang", {L"", L"", L""}), L"Lang");
    EXPECT_EQ(resolve_folder(L"", folders), L"");
}

TEST(FolderTokens, NonTokensAreNotResolved)
{
    // Case counts: an unknown bracketed word is dropped, leaving the rest.
    EXPECT_EQ(resolve_folder(L"<installpath>\\Lang", folders), L"Lang");
    EXPECT_EQ(resolve_folder(L"<CommonData", folders), L"<CommonData");
    EXPECT_EQ(resolve_folder(L"<CommonData\\Ardenvale", folders), L"<CommonData\\Ardenvale");
    EXPECT_EQ(resolve_folder(L"C:\\Data", folders), L"C:\\Data");
    EXPECT_EQ(resolve_folder(L"Data\\Sub", folders), L"Data\\Sub");
    EXPECT_TRUE(is_absolute_path(L"C:\\Data"));
    EXPECT_TRUE(is_absolute_path(L"\\\\server\\share\\Data"));
    EXPECT_FALSE(is_absolute_path(L"\\Data"));
    EXPECT_FALSE(is_absolute_path(L"C:Data"));
    EXPECT_FALSE(is_absolute_path(L"Lang"));
}

TEST(FolderTokens, SpecialFoldersComeFromThePlatform)
{
    EXPECT_EQ(resolve_folder(L"<CommonData>\\Ardenvale\\Pelorium", folders),
              specialFolder(CSIDL_COMMON_APPDATA) + L"\\Ardenvale\\Pelorium");
    EXPECT_EQ(resolve_folder(L"<UserData>\\Ardenvale", folders), specialFolder(CSIDL_APPDATA) + L"\\Ardenvale");
    EXPECT_EQ(resolve_folder(L"<ProgramFiles>", folders), specialFolder(CSIDL_PROGRAM_FILES));
    EXPECT_EQ(resolve_folder(L"<ProgramCommon>", folders), specialFolder(CSIDL_PROGRAM_FILES_COMMON));
    EXPECT_EQ(resolve_folder(L"<CommonDocuments>", folders), specialFolder(CSIDL_COMMON_DOCUMENTS));
    EXPECT_EQ(resolve_folder(L"<Documents>", folders), specialFolder(CSIDL_PERSONAL));
    EXPECT_EQ(resolve_folder(L"<CommonDesktop>", folders), specialFolder(CSIDL_COMMON_DESKTOPDIRECTORY));
    EXPECT_EQ(resolve_folder(L"<Desktop>", folders), specialFolder(CSIDL_DESKTOPDIRECTORY));
    EXPECT_EQ(resolve_folder(L"<WinDir>", folders), specialFolder(CSIDL_WINDOWS));
    EXPECT_EQ(resolve_folder(L"<System>\\drivers", folders), specialFolder(CSIDL_SYSTEM) + L"\\drivers");
    EXPECT_FALSE(specialFolder(CSIDL_COMMON_APPDATA).empty());
}

TEST(FolderTokens, SamplePathIsAbsoluteOrUnderThePublicDesktop)
{
    std::wstring desktop = specialFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
    EXPECT_EQ(resolve_folder(L"<SamplePath>", {L"C:\\P", L"", L""}), desktop);
    EXPECT_EQ(resolve_folder(L"<SamplePath>", {L"C:\\P", L"Samples", L""}), desktop + L"\\Samples");
    EXPECT_EQ(resolve_folder(L"<SamplePath>\\x", {L"C:\\P", L"\\Samples", L""}), desktop + L"\\Samples\\x");
    EXPECT_EQ(resolve_folder(L"<SamplePath>\\x", {L"C:\\P", L"D:\\Samples", L""}), L"D:\\Samples\\x");
}

TEST(FolderTokens, KnownFolderFallsBackOnlyWhenAllowed)
{
    constexpr int unknownCsidl = 0x7E; // no such folder
    EXPECT_EQ(known_folder(unknownCsidl, true, CSIDL_APPDATA), specialFolder(CSIDL_APPDATA));
    try {
        known_folder(unknownCsidl);
        ADD_FAILURE() << "an unknown folder was found";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), compress_errc::unexpected_error);
    }
    EXPECT_THROW(known_folder(unknownCsidl, true, unknownCsidl), std::system_error);
}

TEST(FolderTokens, DialogOwnerIsTheThreadsCaptionedWindow)
{
    EXPECT_EQ(dialog_owner_window(), nullptr);
    // A window without a caption is passed over; a captioned one is found.
    HWND bare =
        CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    HWND captioned = CreateWindowExW(0, L"STATIC", L"Owner", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                     nullptr, nullptr, nullptr);
    ASSERT_TRUE(bare && captioned);
    HWND owner = dialog_owner_window();
    if (GetActiveWindow())
        EXPECT_EQ(owner, GetLastActivePopup(GetAncestor(GetActiveWindow(), GA_ROOTOWNER)));
    else
        EXPECT_EQ(owner, captioned);
    DestroyWindow(captioned);
    DestroyWindow(bare);
}

} // namespace
} // namespace ar
