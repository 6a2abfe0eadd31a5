#include "product/version_info.h"

#include <gtest/gtest.h>

#include "product/product.h"
#include "tests/support/test_support.h"

namespace {

using ar::InstallState;

constexpr std::uint64_t version(std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d)
{
    return ar::product::Version{a, b, c, d}.value();
}

TEST(CompareVersions, WholeSixtyFourBitValue)
{
    const std::uint64_t payload = version(7, 6, 0, 4);
    EXPECT_EQ(payload, ar::product::payloadVersion.value());
    EXPECT_EQ(ar::compareVersions(payload, version(7, 6, 0, 4)), InstallState::Same);
    EXPECT_EQ(ar::compareVersions(payload, version(7, 5, 9, 99)), InstallState::Update);
    EXPECT_EQ(ar::compareVersions(payload, version(7, 6, 0, 5)), InstallState::NewerInstalled);
    EXPECT_EQ(ar::compareVersions(payload, version(8, 0, 0, 0)), InstallState::NewerInstalled);
    EXPECT_EQ(ar::compareVersions(version(7, 6, 1, 0), version(7, 6, 0, 65535)), InstallState::Update);
    EXPECT_EQ(ar::compareVersions(payload, 0), InstallState::Same);
}

TEST(CompareWithInstalled, NothingRecordedOrNoProgramPath)
{
    auto none = ar::compareWithInstalled({false, L""});
    ASSERT_TRUE(none);
    EXPECT_EQ(none->state, InstallState::None);

    auto noPath = ar::compareWithInstalled({true, L""});
    ASSERT_TRUE(noPath);
    EXPECT_EQ(noPath->state, InstallState::Same);
    EXPECT_TRUE(noPath->installedVersionText.empty());
}

TEST(CompareWithInstalled, OlderProgramIsAnUpdateWithItsText)
{
    auto older = ar::compareWithInstalled({true, ar::test::binaryPath(L"version_probe_debug.exe")});
    ASSERT_TRUE(older);
    EXPECT_EQ(older->state, InstallState::Update);
    EXPECT_EQ(older->installedVersionText, L"Pelorium 7.5 \u2013 Debug");
}

TEST(CompareWithInstalled, NewerProgramAndUnreadableProgram)
{
    auto newer = ar::compareWithInstalled({true, ar::test::binaryPath(L"version_probe_newer.exe")});
    ASSERT_TRUE(newer);
    EXPECT_EQ(newer->state, InstallState::NewerInstalled);
    EXPECT_EQ(newer->installedVersionText, L"Pelorium 8.0");

    ar::test::TempDir dir;
    ar::test::writeFile(dir / L"Pelorium.exe", "not a program");
    EXPECT_FALSE(ar::compareWithInstalled({true, dir / L"Pelorium.exe"}));
}

TEST(QueryVersionResource, FlagsAndMarkers)
{
    ar::VersionResourceInfo info;
    ASSERT_TRUE(ar::queryVersionResource(info, ar::test::binaryPath(L"version_probe_private.exe")));
    EXPECT_EQ(info.productName, L"Pelorium");
    EXPECT_EQ(info.productVersion, L"7.5");
    EXPECT_EQ(info.fullText, L"Pelorium 7.5 \u2013 Private \u2013 Debug");
    EXPECT_EQ(info.fileFlags, std::uint32_t(VS_FF_PRIVATEBUILD | VS_FF_DEBUG));
    EXPECT_EQ(info.fileVersion, version(7, 5, 0, 2));
    EXPECT_EQ(info.fileDescription, L"Version probe");
    EXPECT_EQ(info.legalNotice, L"Copyright Ardenvale");
}

TEST(QueryVersionResource, OwnExecutableAndMissingValues)
{
    // The test program carries the installer's own version resource.
    ar::VersionResourceInfo own;
    own.request = ar::VersionResourceInfo::FullText | ar::VersionResourceInfo::LegalNotice;
    ASSERT_TRUE(ar::queryVersionResource(own));
    EXPECT_EQ(own.fullText, L"Install 2.02");
    EXPECT_FALSE(own.legalNotice.empty());

    ar::VersionResourceInfo fromGtest;
    fromGtest.request = ar::VersionResourceInfo::All;
    ar::test::TempDir dir;
    EXPECT_FALSE(ar::queryVersionResource(fromGtest, dir / L"missing.exe"));
    EXPECT_EQ(fromGtest.fileVersion, 0u);
}

TEST(InstallerVersionResource, MatchesTheRelease)
{
    ar::VersionResourceInfo info;
    info.request = ar::VersionResourceInfo::All;
    ASSERT_TRUE(ar::queryVersionResource(info));
    EXPECT_EQ(info.productName, L"Install");
    EXPECT_EQ(info.productVersion, L"2.02");
    EXPECT_EQ(info.fileDescription, L"Installeur Pelorium 7.06");
    EXPECT_EQ(info.fileVersion, version(2, 2, 0, 3));
    EXPECT_EQ(info.fileFlags, 0u);
}

TEST(TempFolder, NameAndPathLimit)
{
    wchar_t saved[MAX_PATH] = {};
    GetEnvironmentVariableW(L"TMP", saved, MAX_PATH);
    ar::test::TempDir base;

    std::wstring folder, error;
    ASSERT_TRUE(ar::makeTempFolderPath(folder, error));
    ASSERT_GE(folder.size(), 11u + 36u + 1u);
    std::wstring name = folder.substr(folder.rfind(L'\\') + 1);
    EXPECT_EQ(name.substr(0, 11), L"ardenvale_{");
    EXPECT_EQ(name.size(), 11u + 36u + 1u);
    EXPECT_EQ(name.back(), L'}');

    // GetTempPath returns TMP with a trailing backslash: pad to 246 and 247 characters.
    auto withTempPathOf = [&](size_t total) {
        std::wstring path = base.path() + L"\\";
        path += std::wstring(total - path.size() - 1, L'x');
        SetEnvironmentVariableW(L"TMP", path.c_str());
        return path.size() + 1;
    };
    ASSERT_EQ(withTempPathOf(246), 246u);
    EXPECT_TRUE(ar::makeTempFolderPath(folder, error));
    ASSERT_EQ(withTempPathOf(247), 247u);
    folder = L"unchanged";
    EXPECT_FALSE(ar::makeTempFolderPath(folder, error));
    EXPECT_EQ(folder, L"unchanged");
    EXPECT_EQ(error.substr(8), L" (GetTempPath)");
    SetEnvironmentVariableW(L"TMP", saved);
}

} // namespace
