// Extraction of archives built by the payload builder into private folders.
#include <gtest/gtest.h>

#include <thread>

#include <boost/filesystem/operations.hpp>

#include "payload/payload_sink.h"
#include "tests/payload/payload_test_util.h"

namespace ar::test {
namespace {

using result = notification::result;

// Extraction and its failures, with each bzip2 decoder.
class Extract : public EachDecoder {};
class ExtractFailure : public EachDecoder {};

std::vector<TestFile> sampleFiles()
{
    return {{L"C:\\build\\Pelorium.de.dll", L"<InstallPath>\\Lang", "German texts", FileKind::Program},
            {L"C:\\build\\Empty.pm-lib", L"<SamplePath>", "", FileKind::EditableData},
            {L"C:\\build\\DSETUP.dll", L"<Temporary>", std::string(10000, 'd'), FileKind::SetupTemporary},
            {L"C:\\build\\Pelorium.exe", L"<InstallPath>", "MZ main program", FileKind::MainProgram}};
}

TEST_P(Extract, WritesEveryFileAndReportsInOrder)
{
    Folders f;
    auto files = sampleFiles();
    std::string archive = buildArchive(files);
    Recorder r;
    ASSERT_TRUE(extract(archive, f.folders, r));

    EXPECT_EQ(readFile(f.folders.installFolder + L"\\Lang\\Pelorium.de.dll"), "German texts");
    EXPECT_EQ(readFile(f.folders.tempFolder + L"\\DSETUP.dll"), files[2].content);
    EXPECT_EQ(readFile(f.folders.installFolder + L"\\Pelorium.exe"), "MZ main program");

    ASSERT_EQ(r.events.front().index, kStarted);
    ASSERT_EQ(r.events.back().index, kFinished);
    EXPECT_EQ(r.events.back().position, archive.size());
    auto begins = r.of(kFileBegin), ends = r.of(kFileEnd);
    ASSERT_EQ(begins.size(), 4u);
    ASSERT_EQ(ends.size(), 4u);
    EXPECT_EQ(begins[0].path, f.folders.installFolder + L"\\Lang\\Pelorium.de.dll");
    EXPECT_EQ(begins[1].path, f.folders.sampleFolder + L"\\Empty.pm-lib");
    EXPECT_EQ(r.count(kFailed), 0u);

    // Progress: first at the data offset, last at the archive's length, never backwards.
    std::string raw = rawArchive(files);
    std::uint64_t dataOffset = read_data_offset(raw);
    auto progress = r.of(kProgress);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front().position, dataOffset);
    EXPECT_EQ(progress.back().position, raw.size());
    for (std::size_t i = 1; i < progress.size(); ++i) {
        EXPECT_LE(progress[i - 1].position, progress[i].position);
        EXPECT_EQ(progress[i].total, raw.size());
    }
    EXPECT_EQ(r.events.back().total, raw.size());
}

// Many blocks in two streams, and runs of one byte so long that a block decodes
// to megabytes: the files come out whole, in order, and the sink is still fed at
// most 4096 bytes at a time, so the handler is called as often as ever.
TEST_P(Extract, ManyBlocksAndStreamsArriveWholeInSmallSteps)
{
    Folders f;
    std::vector<TestFile> files = {{L"Minerals.pm-lib", L"<InstallPath>\\Data", sampleText(1500000, 7)},
                                   {L"Blank.tex", L"<InstallPath>\\Data", std::string(6000000, 'z')},
                                   {L"Pelorium.exe", L"<InstallPath>", "MZ main program"}};
    std::string compressed = bzip2Streams(rawArchive(files), 1, 4000000);
    Recorder r;
    ASSERT_TRUE(extract(compressed, f.folders, r));
    EXPECT_EQ(readFile(f.folders.installFolder + L"\\Data\\Minerals.pm-lib"), files[0].content);
    EXPECT_EQ(readFile(f.folders.installFolder + L"\\Data\\Blank.tex"), files[1].content);
    EXPECT_EQ(readFile(f.folders.installFolder + L"\\Pelorium.exe"), files[2].content);
    EXPECT_EQ(r.of(kFinished).at(0).position, compressed.size());
    auto progress = r.of(kProgress);
    for (std::size_t i = 1; i < progress.size(); ++i)
        ASSERT_LE(progress[i].position - progress[i - 1].position, 4096u) << i;
}

TEST_P(Extract, ZeroLengthEntryIsCreatedAndCheckedWithoutConsumingBytes)
{
    Folders f;
    Recorder r;
    ASSERT_TRUE(extract(buildArchive(sampleFiles()), f.folders, r));
    std::wstring empty = f.folders.sampleFolder + L"\\Empty.pm-lib";
    EXPECT_TRUE(exists(empty));
    EXPECT_EQ(readFile(empty), "");
    // file_begin, one progress at an unchanged position, file_end.
    std::size_t at = 0;
    while (!(r.events[at].index == kFileBegin && r.events[at].path == empty))
        ++at;
    std::size_t before = at;
    while (r.events[before].index != kProgress)
        --before;
    ASSERT_EQ(r.events[at + 1].index, kProgress);
    EXPECT_EQ(r.events[at + 1].position, r.events[before].position);
    EXPECT_EQ(r.events[at + 2].index, kFileEnd);
    EXPECT_EQ(r.events[at + 2].path, empty);
}

// Files of length 0 after the last byte of data are created all the same.
TEST_P(Extract, TrailingZeroLengthEntriesAreCompleted)
{
    Folders f;
    Recorder r;
    std::vector<TestFile> files = {{L"a.bin", L"<InstallPath>", "abc"},
                                   {L"Favourites.pm-lib", L"<InstallPath>\\Data", ""},
                                   {L"Recent.pm-lib", L"<InstallPath>\\Data", ""}};
    ASSERT_TRUE(extract(buildArchive(files), f.folders, r));
    EXPECT_TRUE(exists(f.folders.installFolder + L"\\Data\\Favourites.pm-lib"));
    EXPECT_TRUE(exists(f.folders.installFolder + L"\\Data\\Recent.pm-lib"));
    EXPECT_EQ(r.count(kFileEnd), 3u);

    Folders g;
    Recorder onlyEmpty;
    ASSERT_TRUE(extract(buildArchive({{L"x.pm-lib", L"<Temporary>", ""}}), g.folders, onlyEmpty));
    EXPECT_TRUE(exists(g.folders.tempFolder + L"\\x.pm-lib"));
}

TEST_P(Extract, EmptyArchiveSucceedsWithOneProgress)
{
    Folders f;
    Recorder r;
    ASSERT_TRUE(extract(buildArchive({}), f.folders, r));
    ASSERT_EQ(r.events.size(), 3u);
    EXPECT_EQ(r.events[1].index, kProgress);
    EXPECT_EQ(r.events[1].position, 12u);
    EXPECT_EQ(r.events[1].total, 12u);
    EXPECT_EQ(r.events[2].index, kFinished);
    EXPECT_FALSE(exists(f.folders.installFolder));
}

TEST_P(Extract, SkippedEntryStaysUntouchedButIsCounted)
{
    Folders f;
    std::wstring kept = f.folders.installFolder + L"\\Pelorium.exe";
    boost::filesystem::create_directories(f.folders.installFolder);
    writeFile(kept, "the user's own");
    Recorder r;
    r.reply = [&](const notification& n) {
        if (auto* b = n.get_if<notification::file_begin>())
            return b->entry->destination == kept ? result::skip : result::proceed;
        return result::skip; // anywhere else skip means proceed
    };
    ASSERT_TRUE(extract(buildArchive(sampleFiles()), f.folders, r));
    EXPECT_EQ(readFile(kept), "the user's own");
    EXPECT_EQ(r.count(kFileEnd), 3u);
    for (const auto& e : r.of(kFileEnd))
        EXPECT_NE(e.path, kept);
    EXPECT_EQ(r.of(kProgress).back().position, rawArchive(sampleFiles()).size());
}

TEST_P(Extract, ReadOnlyDestinationIsReplaced)
{
    Folders f;
    std::wstring target = f.folders.installFolder + L"\\Pelorium.exe";
    boost::filesystem::create_directories(f.folders.installFolder);
    writeFile(target, "old version");
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);
    Recorder r;
    ASSERT_TRUE(extract(buildArchive({sampleFiles()[3]}), f.folders, r));
    EXPECT_EQ(readFile(target), "MZ main program");
}

TEST_P(ExtractFailure, ChangedDataByteFailsThatFilesChecksum)
{
    Folders f;
    auto files = sampleFiles();
    std::string raw = rawArchive(files);
    raw[raw.size() - 3] ^= 0x01; // inside the main program, the last file
    Recorder r;
    EXPECT_FALSE(extract(tools::bzip2_compress(raw), f.folders, r));
    ASSERT_EQ(r.count(kFailed), 1u);
    EXPECT_EQ(r.events.back().index, kFailed);
    EXPECT_EQ(r.events.back().code, compress_errc::invalid_checksum);
    EXPECT_EQ(r.events.back().path, f.folders.installFolder + L"\\Pelorium.exe");
    EXPECT_EQ(r.count(kFileEnd), 3u); // the files before it were written and verified
}

TEST_P(ExtractFailure, DamagedCompressedPayloadFailsVerificationBeforeAnyWrite)
{
    Folders f;
    std::string archive = buildArchive(sampleFiles());
    archive[archive.size() / 2] ^= 0x10;
    imemstream source(archive.data(), archive.size());
    Recorder r;
    r.reply = verifyOnStart(source);
    EXPECT_FALSE(extractPayload(source, f.folders, r.handler()));
    ASSERT_EQ(r.events.size(), 2u);
    EXPECT_EQ(r.events[1].code, compress_errc::verification_failed);
    EXPECT_FALSE(exists(f.folders.installFolder));
    EXPECT_FALSE(exists(f.folders.tempFolder));

    // Without the verification, bytes decoded before the damage is detected may
    // already have failed the parser; either way the run ends in one failure.
    Recorder direct;
    EXPECT_FALSE(extract(archive, f.folders, direct));
    EXPECT_EQ(direct.count(kFailed), 1u);

    // Intact, it verifies, again after a rewind; with anything after it, it does not.
    std::string intact = buildArchive(sampleFiles());
    imemstream good(intact.data(), intact.size());
    EXPECT_TRUE(verify(good));
    good.clear();
    good.seekg(0);
    EXPECT_TRUE(verify(good));
    std::string trailing = intact + "x";
    imemstream withGarbage(trailing.data(), trailing.size());
    EXPECT_FALSE(verify(withGarbage));
}

TEST_P(ExtractFailure, ExtraByteAfterTheLastFileFailsAfterAllFiles)
{
    Folders f;
    Recorder r;
    EXPECT_FALSE(extract(tools::bzip2_compress(rawArchive(sampleFiles()) + "!"), f.folders, r));
    EXPECT_EQ(r.count(kFileEnd), 4u);
    EXPECT_EQ(r.events.back().code, compress_errc::unexpected_error);
    EXPECT_EQ(r.events.back().path, L"");
}

TEST_P(ExtractFailure, MissingPayloadIsUnexpected)
{
    Folders f;
    Recorder r;
    imemstream empty;
    EXPECT_FALSE(extractPayload(empty, f.folders, r.handler()));
    ASSERT_EQ(r.count(kFailed), 1u);
    EXPECT_EQ(r.events.back().code, compress_errc::unexpected_error);
}

// Counts and offsets that the header cannot hold fail before any file or large
// allocation: an entry count of four billion, an offset with its high word set.
TEST_P(ExtractFailure, ImplausibleHeaderFailsAtOnce)
{
    Folders f;
    auto expectUnexpected = [&](const std::string& raw) {
        Recorder r;
        EXPECT_FALSE(extract(tools::bzip2_compress(raw), f.folders, r));
        EXPECT_EQ(r.events.back().code, compress_errc::unexpected_error);
        EXPECT_EQ(r.count(kFileBegin), 0u);
    };
    std::string raw = rawArchive(sampleFiles());
    std::string manyEntries = raw;
    manyEntries.replace(8, 4, "\xff\xff\xff\xff");
    expectUnexpected(manyEntries);
    std::string highWord = raw;
    highWord[4] = 1;
    expectUnexpected(highWord);
    std::string tiny = raw;
    tiny.replace(0, 8, std::string("\x05\0\0\0\0\0\0\0", 8));
    expectUnexpected(tiny);
    std::string hugeHeader = raw;
    hugeHeader[3] = 0x10; // 256 MB of header
    expectUnexpected(hugeHeader);
    EXPECT_FALSE(exists(f.folders.installFolder));
}

// A destination that does not come out absolute (an unknown or misspelt token)
// is refused before anything is written, instead of landing in the current folder.
TEST_P(ExtractFailure, DestinationOutsideTheFoldersIsRefused)
{
    Folders f;
    TempDir current(L"cwd");
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(current.path().c_str());
    for (const wchar_t* folder : {L"<installpath>\\Lang", L"InstallPath>", L"Lang", L"<InstallPath>"}) {
        Recorder r;
        auto files = sampleFiles();
        files[2].folder = folder;
        PayloadFolders relative = f.folders;
        if (std::wstring(folder) == L"<InstallPath>")
            relative.installFolder = L"install"; // a relative install folder
        EXPECT_FALSE(extract(buildArchive(files), relative, r)) << folder;
        EXPECT_EQ(r.events.back().code, compress_errc::unexpected_error);
        EXPECT_EQ(r.count(kFileBegin), 0u);
    }
    // A source path without a file name is refused too.
    Recorder noName;
    EXPECT_FALSE(extract(buildArchive({{L"C:\\build\\..", L"<InstallPath>", "x"}}), f.folders, noName));
    EXPECT_EQ(noName.events.back().code, compress_errc::unexpected_error);
    SetCurrentDirectoryW(previous);
    EXPECT_TRUE(boost::filesystem::is_empty(current.path()));
    EXPECT_FALSE(exists(f.folders.installFolder));
}

// Names and destinations Windows cannot create, or two files for one place: the
// header is refused before the first file is begun.
TEST_P(ExtractFailure, NamesAndDestinationsWindowsCannotCreateAreRefusedFirst)
{
    for (const auto& refused : refusedArchives()) {
        Folders f;
        Recorder r;
        EXPECT_FALSE(extract(buildArchive(refused.files), f.folders, r)) << refused.what;
        EXPECT_EQ(r.events.back().code, compress_errc::unexpected_error) << refused.what;
        EXPECT_EQ(r.count(kFileBegin), 0u) << refused.what;
        EXPECT_FALSE(exists(f.folders.installFolder)) << refused.what;
    }
    // Two tokens for one folder here: <Temporary> without a temporary folder is the
    // installation folder, so the set-up file would overwrite the program.
    Folders f;
    PayloadFolders noTemporary = f.folders;
    noTemporary.tempFolder.clear();
    std::vector<TestFile> files = {{L"Pelorium.exe", L"<InstallPath>", "MZ"},
                                   {L"PELORIUM.EXE", L"<Temporary>", "set-up", FileKind::SetupTemporary}};
    Recorder r;
    EXPECT_FALSE(extract(buildArchive(files), noTemporary, r));
    EXPECT_EQ(r.events.back().code, compress_errc::unexpected_error);
    EXPECT_EQ(r.count(kFileBegin), 0u);
    Recorder apart;
    EXPECT_TRUE(extract(buildArchive(files), f.folders, apart));
}

TEST_P(ExtractFailure, UnwritableDestinationReportsTheSystemErrorAndPath)
{
    Folders f;
    std::wstring blocked = f.folders.installFolder + L"\\Pelorium.exe";
    boost::filesystem::create_directories(blocked); // a folder where the file goes
    Recorder r;
    EXPECT_FALSE(extract(buildArchive(sampleFiles()), f.folders, r));
    EXPECT_EQ(r.events.back().code.category(), std::system_category());
    EXPECT_EQ(r.events.back().code.value(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(r.events.back().path, blocked);
}

TEST_P(ExtractFailure, AbortIsInterruptedWithThePathOfTheOpenFile)
{
    auto run = [this](std::function<result(const notification&)> reply, std::wstring& path) {
        Folders f;
        Recorder r;
        r.reply = std::move(reply);
        EXPECT_FALSE(extract(buildArchive(sampleFiles()), f.folders, r));
        EXPECT_EQ(r.count(kFailed), 1u);
        EXPECT_EQ(r.events.back().code, compress_errc::interrupted);
        path = r.events.back().path;
        return f.folders;
    };
    std::wstring path;
    run(
        [](const notification& n) {
            return n.get_if<notification::file_begin>() ? result::abort : result::proceed;
        },
        path);
    EXPECT_EQ(path, L""); // nothing was open yet

    int progress = 0;
    auto folders = run(
        [&](const notification& n) {
            return n.get_if<notification::progress>() && ++progress == 2 ? result::abort : result::proceed;
        },
        path);
    EXPECT_EQ(path, folders.installFolder + L"\\Lang\\Pelorium.de.dll");

    run(
        [](const notification& n) {
            return n.get_if<notification::file_end>() ? result::abort : result::proceed;
        },
        path);
    EXPECT_NE(path.find(L"Pelorium.de.dll"), std::wstring::npos);
}

TEST_P(ExtractFailure, HandlerExceptionsBecomeOneFailure)
{
    Folders f;
    Recorder r;
    r.reply = [](const notification& n) -> result {
        if (n.get_if<notification::file_end>())
            throw std::runtime_error("handler trouble");
        return result::proceed;
    };
    EXPECT_FALSE(extract(buildArchive(sampleFiles()), f.folders, r));
    EXPECT_EQ(r.count(kFailed), 1u);
    EXPECT_EQ(r.events.back().code, compress_errc::unexpected_error);

    imemstream source;
    EXPECT_THROW(extractPayload(source, f.folders, nullptr), std::invalid_argument);
}

// The sink parses the same whether the header comes byte by byte or at once, and
// never takes more than the section it is in.
AR_FOR_EACH_DECODER(Extract);
AR_FOR_EACH_DECODER(ExtractFailure);

TEST(PayloadSink, HeaderOneByteAtATimeParsesLikeOneBlock)
{
    auto files = sampleFiles();
    std::string raw = rawArchive(files);
    std::uint64_t dataOffset = read_data_offset(raw);

    // Header bytes in pieces of `piece`, then everything else at once.
    auto feed = [&](std::size_t piece, std::vector<std::streamsize>* takes) {
        Folders f;
        Recorder r;
        PayloadSink sink(f.folders, r.handler());
        std::size_t at = 0;
        while (at < raw.size()) {
            bool inHeader = sink.state() == 0;
            std::size_t offer = inHeader ? std::min(piece, raw.size() - at) : raw.size() - at;
            std::streamsize n = static_cast<std::streamsize>(offer);
            std::streamsize took = sink.write(raw.data() + at, n);
            EXPECT_LE(took, n);
            if (inHeader) {
                EXPECT_LE(at + static_cast<std::size_t>(took), dataOffset); // never past the header's end
            }
            if (takes)
                takes->push_back(took);
            at += static_cast<std::size_t>(took);
        }
        sink.finish();
        EXPECT_EQ(sink.position(), raw.size());
        EXPECT_EQ(sink.total(), raw.size());
        EXPECT_EQ(sink.state(), files.size() + 1);
        std::vector<std::wstring> seen;
        for (const auto& e : r.events)
            seen.push_back(std::to_wstring(e.index) + L" " + std::to_wstring(e.position) + L" " +
                           e.path.substr(e.path.find_last_of(L'\\') + 1));
        return seen;
    };
    std::vector<std::streamsize> takes;
    auto whole = feed(raw.size(), &takes);
    // First the 8 bytes of the data offset, then the rest of the header, then each file.
    ASSERT_GE(takes.size(), 3u);
    EXPECT_EQ(takes[0], 8);
    EXPECT_EQ(static_cast<std::uint64_t>(takes[1]), dataOffset - 8);
    EXPECT_EQ(takes[2], static_cast<std::streamsize>(files[0].content.size()));
    EXPECT_EQ(feed(1, nullptr), whole);
    EXPECT_EQ(feed(7, nullptr), whole);
}

// Another process holding the file right after it was written (a virus scanner):
// the checksum pass waits a second and tries again, four attempts in all.
TEST(FileCrc, WaitsOutASharingViolation)
{
    TempDir dir(L"crc");
    std::wstring path = dir / L"held";
    writeFile(path, "held for a moment");
    HANDLE held =
        CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::thread release([held] {
        Sleep(1500);
        CloseHandle(held);
    });
    DWORD start = GetTickCount();
    EXPECT_EQ(file_crc32(path), crc32(0, "held for a moment", 17));
    EXPECT_GE(GetTickCount() - start, 1000u);
    release.join();
}

TEST(FileCrc, GivesUpAfterFourSharingViolations)
{
    TempDir dir(L"crc");
    std::wstring path = dir / L"held";
    writeFile(path, "x");
    HANDLE held =
        CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    DWORD start = GetTickCount();
    try {
        file_crc32(path);
        ADD_FAILURE();
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), std::error_code(ERROR_SHARING_VIOLATION, std::system_category()));
    }
    DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 2900u);
    EXPECT_LT(elapsed, 6000u);
    CloseHandle(held);
}

} // namespace
} // namespace ar::test
