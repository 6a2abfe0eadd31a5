// Memory streams, the archive's byte layout and CRC, and the builder's manifest.
#include <gtest/gtest.h>

#include <cstring>

#include "payload/archive.h"
#include "payload/destination_rules.h"
#include "support/memstream.h"
#include "tests/payload/payload_test_util.h"
#include "tests/support/test_support.h"
#include "tools/archive_builder.h"

namespace ar {
namespace {

TEST(MemStream, GrowsBy256ThenByHalfAndKeepsItsContent)
{
    memstream stream;
    EXPECT_EQ(stream.rdbuf()->capacity(), 0u);
    std::vector<std::size_t> capacities;
    std::string written;
    for (int i = 0; i < 3000; ++i) {
        char c = static_cast<char>('a' + i % 26);
        stream.put(c);
        written += c;
        if (capacities.empty() || capacities.back() != stream.rdbuf()->capacity())
            capacities.push_back(stream.rdbuf()->capacity());
    }
    EXPECT_EQ(capacities, (std::vector<std::size_t>{256, 512, 768, 1152, 1728, 2592, 3888}));
    EXPECT_EQ(stream.data(), written);

    // A block write larger than one growth step lands in one piece.
    std::string block(10000, 'z');
    stream.write(block.data(), static_cast<std::streamsize>(block.size()));
    EXPECT_EQ(stream.data(), written + block);
}

TEST(MemStream, WritesOfEverySizeAcrossGrowthsKeepTheContent)
{
    memstream stream;
    std::string model;
    for (std::size_t size = 1; model.size() < 20000; size = size * 3 % 257 + 1) {
        std::string piece(size, static_cast<char>('A' + size % 26));
        stream.write(piece.data(), static_cast<std::streamsize>(piece.size()));
        model += piece;
        ASSERT_EQ(stream.data(), model);
        ASSERT_GE(stream.rdbuf()->capacity(), model.size());
    }
}

TEST(MemStream, DataIsTheHighWaterMarkAndSeeksMoveBothAreas)
{
    memstream stream;
    stream << "0123456789";
    stream.seekp(3);
    stream << "ab";
    EXPECT_EQ(stream.data(), "012ab56789"); // not cut at the write position

    std::string word(4, '\0');
    stream.seekg(2);
    stream.read(word.data(), 4);
    EXPECT_EQ(word, "2ab5");
    EXPECT_EQ(stream.tellg(), 6);
    stream.seekg(-2, std::ios_base::end);
    EXPECT_EQ(stream.get(), '8');
    EXPECT_TRUE(stream.seekg(11).fail()); // beyond the content
    stream.clear();

    stream.seekp(0, std::ios_base::end);
    stream << "X";
    EXPECT_EQ(stream.data(), "012ab56789X");
    stream.seekg(10);
    EXPECT_EQ(stream.get(), 'X');
}

TEST(MemStream, ReadOnlyViewUsesTheCallersBlockInPlace)
{
    static const char block[] = "payload bytes";
    imemstream view(block, sizeof block - 1);
    EXPECT_EQ(view.data().data(), block); // no copy
    EXPECT_EQ(view.data().size(), sizeof block - 1);
    std::string word;
    view >> word;
    EXPECT_EQ(word, "payload");
    EXPECT_EQ(view.rdbuf()->sputc('x'), std::char_traits<char>::eof());
    EXPECT_EQ(std::memcmp(block, "payload bytes", 13), 0);

    view.clear();
    view.seekg(0);
    EXPECT_EQ(view.get(), 'p');

    imemstream empty;
    EXPECT_EQ(empty.get(), std::char_traits<char>::eof());
    EXPECT_TRUE(empty.eof());
    empty.clear();
    EXPECT_FALSE(empty.seekg(0).fail());

    // Moved streams keep reading where they were.
    imemstream moved(std::move(view));
    EXPECT_EQ(moved.get(), 'a');
}

TEST(Crc32, MatchesZlibAndContinues)
{
    EXPECT_EQ(crc32(0, "", 0), 0u);
    EXPECT_EQ(crc32(0, "123456789", 9), 0xCBF43926u);
    const char text[] = "The quick brown fox jumps over the lazy dog";
    EXPECT_EQ(crc32(0, text, sizeof text - 1), 0x414FA339u);
    // Fed in uneven pieces, the result is the same.
    std::uint32_t crc = 0;
    for (std::size_t at = 0, step = 1; at < sizeof text - 1; at += step, step += 2)
        crc = crc32(crc, text + at, std::min(step, sizeof text - 1 - at));
    EXPECT_EQ(crc, 0x414FA339u);
}

TEST(ArchiveHeader, IsWrittenInTheArchiveLayoutAndReadBack)
{
    std::vector<PayloadEntry> entries = {{L"C:\\build\\Pelorium.de.dll", L"<InstallPath>\\Lang",
                                          FileKind::Program, 0x1'0000'0002ull, 0xDEADBEEF},
                                         {L"e", L"<Temporary>", FileKind::SetupTemporary, 0, 0}};
    std::string header = encode_archive_header(entries);
    std::uint64_t expected = 12 + (4 + 2 * 24 + 4 + 2 * 18 + 16) + (4 + 2 + 4 + 2 * 11 + 16);
    ASSERT_EQ(header.size(), expected);
    // The data offset as two 32-bit words, low word first.
    EXPECT_EQ(read_data_offset(header), expected);
    EXPECT_EQ(header.substr(4, 4), std::string(4, '\0'));
    EXPECT_EQ(header.substr(8, 4), std::string("\x02\0\0\0", 4));
    // UTF-16LE text without terminator, then kind, size (64-bit) and CRC.
    EXPECT_EQ(header.substr(12, 6), std::string("\x18\0\0\0C\0", 6));
    std::size_t fixed = 12 + 4 + 48 + 4 + 36;
    EXPECT_EQ(header.substr(fixed, 16), std::string("\0\0\0\0\x02\0\0\0\x01\0\0\0\xEF\xBE\xAD\xDE", 16));

    auto parsed = parse_archive_header(header);
    ASSERT_EQ(parsed.size(), 2u);
    EXPECT_EQ(parsed[0].sourcePath, entries[0].sourcePath);
    EXPECT_EQ(parsed[0].destination, entries[0].destination);
    EXPECT_EQ(parsed[0].size, entries[0].size);
    EXPECT_EQ(parsed[0].crc, entries[0].crc);
    EXPECT_EQ(parsed[1].kind, FileKind::SetupTemporary);
    EXPECT_EQ(archive_length(expected, parsed), expected + 0x1'0000'0002ull);
}

// Counts and lengths that the header cannot hold fail before anything is allocated.
TEST(ArchiveHeader, RefusesRecordsThatRunPastItsEnd)
{
    auto expectMalformed = [](const std::string& header) {
        try {
            parse_archive_header(header);
            ADD_FAILURE() << "accepted";
        } catch (const std::system_error& e) {
            EXPECT_EQ(e.code(), compress_errc::unexpected_error);
        }
    };
    std::string header = encode_archive_header({{L"a.dll", L"<InstallPath>", FileKind::Program, 1, 2}});
    expectMalformed(header.substr(0, header.size() - 1));                   // CRC cut short
    expectMalformed(std::string("\x0c\0\0\0\0\0\0\0\xff\xff\xff\xff", 12)); // 4 billion entries in 12 bytes
    std::string longName = header;
    longName.replace(12, 4, std::string("\xff\xff\xff\x7f", 4)); // a 2 G-unit source path
    expectMalformed(longName);
    std::string extraEntry = header;
    extraEntry[8] = 2;
    expectMalformed(extraEntry);

    EXPECT_FALSE(plausible_data_offset(0));
    EXPECT_FALSE(plausible_data_offset(11));
    EXPECT_TRUE(plausible_data_offset(12));
    EXPECT_FALSE(plausible_data_offset(0x1'0000'000Cull)); // high word set
    EXPECT_THROW(archive_length(100, {{L"a", L"b", FileKind::Program, ~0ull - 50, 0}}), std::system_error);
}

TEST(ArchiveHeader, FileNamesAndCategoryTexts)
{
    EXPECT_EQ(file_name_of(L"C:\\build\\bin\\Pelorium.exe"), L"Pelorium.exe");
    EXPECT_EQ(file_name_of(L"/work/build/bin/Pelorium.exe"), L"Pelorium.exe");
    EXPECT_EQ(file_name_of(L"C:Pelorium.exe"), L"Pelorium.exe");
    EXPECT_EQ(file_name_of(L"name"), L"name");
    EXPECT_FALSE(is_plain_file_name(file_name_of(L"C:\\build\\")));
    EXPECT_FALSE(is_plain_file_name(L".."));
    EXPECT_TRUE(is_plain_file_name(L"..dll"));

    EXPECT_STREQ(compress_category().name(), "compress");
    EXPECT_EQ(std::error_code(compress_errc::verification_failed).message(), "verification failed");

    EXPECT_EQ(folder_token(L"<InstallPath>"), FolderToken::InstallPath);
    EXPECT_EQ(folder_token(L"<Temporary>"), FolderToken::Temporary);
    EXPECT_FALSE(folder_token(L"<installpath>"));
    EXPECT_FALSE(folder_token(L" <InstallPath>"));
}

// One name per row: accepted (no complaint) or refused with a complaint naming why.
TEST(DestinationRules, NamesWindowsCannotCreateAreRefused)
{
    const wchar_t surrogatePair[] = {L'x', wchar_t(0xD83D), wchar_t(0xDE00), 0};
    const wchar_t loneLow[] = {L'x', wchar_t(0xDE00), 0};
    const wchar_t superscript[] = {L'C', L'O', L'M', wchar_t(0xB9), 0};
    struct Row {
        std::wstring name;
        const char* complaint; // empty: accepted
    };
    const Row rows[] = {
        {L"Pelorium.exe", ""},
        {L"..dll", ""},
        {L"a b.pm-lib", ""},
        {L"\u00C9t\u00E9 \u65E5\u672C.jpg", ""},
        {surrogatePair, ""},
        {L"CONSOLE.log", ""},
        {L"COM10", ""},
        {L"LPT", ""},
        {L"nul_.txt", ""},
        {std::wstring(255, L'n'), ""},
        {L"", "is empty"},
        {L".", "'.' is no name"},
        {L"..", "'..' is no name"},
        {std::wstring(256, L'n'), "is too long (256"},
        {L"a<b", "contains '<'"},
        {L"a>b", "contains '>'"},
        {L"a:b", "contains ':'"},
        {L"a\"b", "contains '\"'"},
        {L"a/b", "contains '/'"},
        {L"a\\b", "contains '\\'"},
        {L"a|b", "contains '|'"},
        {L"a?b", "contains '?'"},
        {L"a*b", "contains '*'"},
        {std::wstring(L"a\0b", 3), "control character U+0000"},
        {L"a\x1F"
         L"b",
         "control character U+001F"},
        {L"CON", "reserved device name"},
        {L"prn", "reserved device name"},
        {L"Aux.h", "reserved device name"},
        {L"nul.txt", "reserved device name"},
        {L"NUL.tar.gz", "reserved device name"},
        {L"nul .txt", "reserved device name"},
        {L"com1", "reserved device name"},
        {L"COM9.log", "reserved device name"},
        {L"LPT0", "reserved device name"},
        {superscript, "reserved device name"},
        {L"CONOUT$", "reserved device name"},
        {L"readme.", "ends in a dot"},
        {L"readme ", "ends in a blank"},
        {L"...", "ends in a dot"},
        {loneLow, "unpaired UTF-16 surrogate"},
        {L"x\xFEFF.dll", "U+FEFF"},
    };
    for (const Row& row : rows) {
        std::string fault = name_fault(row.name);
        SCOPED_TRACE(test::narrow(row.name));
        if (*row.complaint == '\0')
            EXPECT_EQ(fault, "");
        else
            EXPECT_NE(fault.find(row.complaint), std::string::npos) << fault;
    }
}

TEST(DestinationRules, FoldersBeginWithATokenAndHoldOnlyNames)
{
    for (const wchar_t* folder :
         {L"<InstallPath>", L"<InstallPath>\\Lang", L"<InstallPath>/Lang", L"<InstallPath>\\\\Lang\\",
          L"<CommonData>\\Ardenvale\\Textures\\Pelorium", L"<Temporary>\\"})
        EXPECT_EQ(destination_fault(folder), "") << test::narrow(folder);
    struct Row {
        const wchar_t* folder;
        const char* complaint;
    };
    for (const Row& row : {Row{L"Lang", "folder token"}, Row{L"<installpath>\\Lang", "folder token"},
                           Row{L"C:\\Data", "folder token"}, Row{L"\\\\server\\share", "folder token"},
                           Row{L"<Unknown>\\C:\\Data", "folder token"}, Row{L"<InstallPath>\\..", "'..'"},
                           Row{L"<InstallPath>\\a\\.\\b", "'.'"}, Row{L"<InstallPath>\\aux", "device name"},
                           Row{L"<InstallPath>\\Lang ", "blank"}, Row{L"<CommonData>\\C:\\Data", "':'"}}) {
        std::string fault = destination_fault(row.folder);
        EXPECT_NE(fault.find(row.complaint), std::string::npos) << test::narrow(row.folder) << ": " << fault;
    }
}

// Windows' file systems compare names unit by unit in upper case, outside ASCII
// too, and do not normalise: precomposed and decomposed letters stay apart.
TEST(DestinationRules, PathsAreOneFileAsWindowsComparesThem)
{
    for (auto [lower, upper] : {std::pair<int, int>{'a', 'A'},
                                {0xE4, 0xC4},
                                {0xFF, 0x178},
                                {0x101, 0x100},
                                {0x3C3, 0x3A3},
                                {0x3C2, 0x3A3},
                                {0x430, 0x410},
                                {0x561, 0x531},
                                {0x1F00, 0x1F08},
                                {0xFF41, 0xFF21},
                                {'A', 'A'},
                                {0xDF, 0xDF},
                                {0xD83D, 0xD83D}})
        EXPECT_EQ(upper_case_unit(static_cast<wchar_t>(lower)), static_cast<wchar_t>(upper)) << lower;

    std::vector<std::wstring> paths = {
        L"<InstallPath>\\Lang\\a.dll",                    // 0
        L"<InstallPath>/Lang//A.DLL",                     // 1: as 0
        L"<InstallPath>\\Lang\\a.dll\\",                  // 2: as 0
        L"<InstallPath>\\\u00C4rger.txt",                 // 3
        L"<INSTALLPATH>\\\u00E4RGER.TXT",                 // 4: as 3 (the key alone; no token)
        L"<InstallPath>\\A\u0308rger.txt",                // 5: decomposed, another file
        L"<InstallPath>\\\u03A3\u039F\u03A6\u0399\u0391", // 6
        L"<InstallPath>\\\u03C3\u03BF\u03C6\u03B9\u03B1", // 7: as 6
        L"<InstallPath>\\stra\u00DFe",                    // 8
        L"<InstallPath>\\STRASSE",                        // 9: another file
    };
    using Pairs = std::vector<std::pair<std::size_t, std::size_t>>;
    EXPECT_EQ(same_paths(paths), (Pairs{{1, 0}, {2, 0}, {4, 3}, {7, 6}}));
}

TEST(DestinationRules, ListingRefusesWhatTheReaderRefuses)
{
    for (const auto& refused : test::refusedArchives()) {
        std::istringstream in(test::buildArchive(refused.files));
        std::ostringstream report;
        EXPECT_FALSE(tools::list_archive(in, report)) << refused.what;
        std::string errors = report.str().substr(std::min(report.str().find("error: "), report.str().size()));
        EXPECT_EQ(errors.compare(0, 16, "error: entry 2: "), 0) << refused.what << "\n" << report.str();
        EXPECT_NE(errors.find(refused.complaint), std::string::npos) << refused.what << "\n" << report.str();
    }
}

TEST(Manifest, NamesTheLineAndTheReasonOfEveryProblem)
{
    test::TempDir dir(L"mf");
    test::writeFile(dir / L"present.dll", "x");
    std::string base = test::narrow(dir.path());
    std::string text = "# comment\n"
                       "\n"
                       "present.dll | <InstallPath>\\Lang | Program\n"
                       "present.dll | <InstallPath> | Shortcut\n"
                       "missing.dll | <InstallPath> | 0\n"
                       "present.dll | <Install>\\Lang | 1\n"
                       "present.dll | InstallPath\\Lang | 1\n"
                       "present.dll | <InstallPath>\\" +
                       std::string(300, 'x') +
                       " | 1\n"
                       "present.dll | <CommonData> \n"
                       "present.dll | <InstallPath>\\lang | EditableData\n";
    std::vector<std::string> errors;
    auto entries = tools::parse_manifest(text, "m.txt", base, errors);
    tools::check_duplicates(entries, errors);
    ASSERT_EQ(errors.size(), 7u);
    EXPECT_NE(errors[0].find("m.txt:4: unknown kind 'Shortcut'"), std::string::npos) << errors[0];
    EXPECT_NE(errors[1].find("m.txt:5: missing source file 'missing.dll'"), std::string::npos) << errors[1];
    EXPECT_NE(errors[2].find("m.txt:6: destination '<Install>\\Lang' does not begin with a folder token"),
              std::string::npos)
        << errors[2];
    EXPECT_NE(errors[3].find("m.txt:7:"), std::string::npos) << errors[3];
    EXPECT_NE(errors[4].find("m.txt:8: destination folder too long"), std::string::npos) << errors[4];
    EXPECT_NE(errors[5].find("m.txt:9: expected"), std::string::npos) << errors[5];
    EXPECT_NE(errors[6].find("m.txt:10: same destination file as m.txt:3"), std::string::npos) << errors[6];
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].kind, FileKind::Program);
    EXPECT_EQ(entries[1].kind, FileKind::EditableData);
}

// Every name and destination the installer would refuse is refused on its line,
// whether or not such a file could exist here.
TEST(Manifest, RefusesWhatTheInstallerWouldRefuseOnItsLine)
{
    test::TempDir dir(L"mf");
    test::writeFile(dir / L"a.dll", "a");
    struct Row {
        std::string line;
        const char* complaint;
    };
    const Row rows[] = {
        {"a.dll | <InstallPath> | 0", ""},
        {"nul.txt | <InstallPath> | 0", "file name 'nul.txt' is a reserved device name"},
        {"COM3 | <InstallPath> | 0", "reserved device name"},
        {"a*.dll | <InstallPath> | 0", "contains '*'"},
        {"a.dll | <InstallPath>\\Lang. | 0",
         "destination '<InstallPath>\\Lang.': folder 'Lang.' ends in a dot"},
        {"a.dll | <InstallPath>\\x \\y | 0", "ends in a blank"},
        {"a.dll | <InstallPath>\\..\\Windows | 0", "'..' is no name"},
        {"a.dll | <InstallPath>\\a\"b | 0", "contains '\"'"},
        {"a.dll | <InstallPath>\\\xC0\xAF..\\x | 0", "not valid UTF-8"}, // an overlong '/'
        {"a.dll | <InstallPath>\\\xE0\x80\xAF | 0", "not valid UTF-8"},  // another one
        {"a.dll | <InstallPath>\\\xFF | 0", "not valid UTF-8 (malformed or overlong sequence at byte 23"},
        {"a.dll | <InstallPath>\\\xED\xA0\x80 | 0", "not valid UTF-8"}, // an encoded surrogate
        {"a.dll | <InstallPath>\\x\xEF\xBB\xBFy | 0", "U+FEFF"},
        {"# caf\xE9: a comment in another encoding says nothing", ""},
    };
    std::string text;
    for (const Row& row : rows)
        text += row.line + "\n";
    std::vector<std::string> errors;
    auto entries = tools::parse_manifest(text, "m", test::narrow(dir.path()), errors);
    tools::check_duplicates(entries, errors);
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        std::string where = "m:" + std::to_string(i + 1) + ": ";
        std::string found;
        for (const auto& error : errors)
            if (error.compare(0, where.size(), where) == 0)
                found += error + "\n";
        SCOPED_TRACE(rows[i].line);
        if (*rows[i].complaint == '\0')
            EXPECT_EQ(found, "");
        else
            EXPECT_NE(found.find(rows[i].complaint), std::string::npos) << found;
    }
    EXPECT_EQ(entries.size(), 1u);

    // Destinations are compared as the reader resolves them and as Windows compares
    // names (the sources need not exist for that).
    auto entry = [](std::string where, std::string source, std::wstring folder) {
        tools::ManifestEntry e;
        e.where = std::move(where);
        e.source = std::move(source);
        e.destination = std::move(folder);
        return e;
    };
    errors.clear();
    tools::check_duplicates({entry("m:1", "one/\xC3\x84rger.dll", L"<InstallPath>/Lang"),
                             entry("m:2", "two/\xC3\xA4rger.dll", L"<InstallPath>\\\\Lang\\"),
                             entry("m:3", "A\xCC\x88rger.dll", L"<InstallPath>\\Lang"),
                             entry("m:4", "x.dll", L"<InstallPath>\\Lang")},
                            errors);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].find("m:2: same destination file as m:1"), 0u) << errors[0];
}

// A byte-order mark at the start marks the encoding (Windows editors write one);
// it is not part of the first line's source.
TEST(Manifest, ByteOrderMarkAtTheStartIsSkipped)
{
    test::TempDir dir(L"mf");
    test::writeFile(dir / L"a.dll", "a");
    for (const char* text : {"\xEF\xBB\xBF"
                             "a.dll | <InstallPath> | 0\n",
                             "\xEF\xBB\xBF# comment\na.dll | <InstallPath> | 0\n"}) {
        std::vector<std::string> errors;
        auto entries = tools::parse_manifest(text, "m", test::narrow(dir.path()), errors);
        EXPECT_TRUE(errors.empty()) << errors.front();
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].source, "a.dll");
    }
}

TEST(Manifest, BuildsAnArchiveThatListsClean)
{
    test::TempDir dir(L"mf");
    test::writeFile(dir / L"a.exe", std::string(50000, 'a'));
    test::writeFile(dir / L"empty.pm-lib", "");
    std::string text = "a.exe | <InstallPath> | MainProgram\nempty.pm-lib | <CommonData>\\Ardenvale | 3\n";
    std::vector<std::string> errors;
    auto entries = tools::parse_manifest(text, "m", test::narrow(dir.path()), errors);
    std::ostringstream archive;
    ASSERT_TRUE(tools::build_archive(entries, archive, errors));
    EXPECT_TRUE(errors.empty());

    std::istringstream in(archive.str());
    std::ostringstream report;
    EXPECT_TRUE(tools::list_archive(in, report)) << report.str();
    EXPECT_NE(report.str().find("MainProgram"), std::string::npos) << report.str();
    EXPECT_NE(report.str().find(" 50000 "), std::string::npos) << report.str();
    EXPECT_NE(report.str().find("<CommonData>\\Ardenvale\\empty.pm-lib"), std::string::npos) << report.str();

    // The listing finds a damaged file.
    std::string damaged = archive.str();
    damaged[damaged.size() / 2] ^= 0x20;
    std::istringstream bad(damaged);
    std::ostringstream badReport;
    EXPECT_FALSE(tools::list_archive(bad, badReport));
    EXPECT_NE(badReport.str().find("error:"), std::string::npos);
}

} // namespace
} // namespace ar
