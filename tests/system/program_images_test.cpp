// What Windows reads from the built programs before they run: 32-bit x86 images
// (installers with their sections on pages in the file), and manifests that ask
// for administrator rights (Windows elevates through them, which Wine, without
// UAC, cannot show) and name the systems they were made for.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

namespace {

// The image's headers (the fields read here lie where they do in a 64-bit image
// too); none when it is no image.
const IMAGE_NT_HEADERS32* headersOf(const std::string& image)
{
    if (image.size() < sizeof(IMAGE_DOS_HEADER))
        return nullptr;
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew <= 0 ||
        image.size() < static_cast<size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS32))
        return nullptr;
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(image.data() + dos->e_lfanew);
    return nt->Signature == IMAGE_NT_SIGNATURE ? nt : nullptr;
}

std::string manifestOf(const std::wstring& path)
{
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return {};
    std::string text;
    if (HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST))
        if (HGLOBAL loaded = LoadResource(module, found))
            text.assign(static_cast<const char*>(LockResource(loaded)), SizeofResource(module, found));
    FreeLibrary(module);
    return text;
}

// The product's build is 32-bit x86; a 64-bit build of the same sources (for a
// machine that cannot start 32-bit programs) is one processor throughout as well.
TEST(ProgramImages, EveryWindowsProgramIsAnImageOfTheBuildsProcessor)
{
#ifdef _WIN64
    const WORD machine = IMAGE_FILE_MACHINE_AMD64;
#else
    const WORD machine = IMAGE_FILE_MACHINE_I386;
#endif
    for (const wchar_t* name : {L"InstallPelorium7.06.exe", L"InstallPelorium7.05.exe", L"Uninstall.exe",
                                L"demo\\DSETUP.dll", L"demo\\Pelorium.exe", L"demo\\Lang\\Pelorium.de.dll"}) {
        const std::string image = ar::test::readFile(ar::test::binaryPath(name));
        const IMAGE_NT_HEADERS32* headers = headersOf(image);
        ASSERT_NE(headers, nullptr) << ar::test::narrow(name);
        EXPECT_EQ(headers->FileHeader.Machine, machine) << ar::test::narrow(name);
        // An installer's sections lie on pages in the file, so that its payload is
        // mapped from the file as it is read, not read whole as the program starts.
        if (std::wstring(name).rfind(L"Install", 0) == 0) {
            EXPECT_EQ(headers->OptionalHeader.FileAlignment, 4096u) << ar::test::narrow(name);
        }
    }
}

TEST(ProgramImages, InstallerAndUninstallerAskForAdministratorRights)
{
    for (const wchar_t* name : {L"InstallPelorium7.06.exe", L"Uninstall.exe"}) {
        std::string manifest = manifestOf(ar::test::binaryPath(name));
        ASSERT_FALSE(manifest.empty()) << ar::test::narrow(name);
        SCOPED_TRACE(ar::test::narrow(name));
        EXPECT_NE(
            manifest.find("<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>"),
            std::string::npos);
        EXPECT_NE(manifest.find("processorArchitecture=\"x86\""), std::string::npos);
        EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
                  std::string::npos);
        EXPECT_NE(manifest.find("<dpiAwareness"), std::string::npos);
        // Windows 7, 8, 8.1 and 10/11.
        for (const char* id :
             {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
              "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
            EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"") + id + "\"/>"), std::string::npos)
                << id;
    }
}

} // namespace
