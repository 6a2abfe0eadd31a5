// Memory streams, the archive's byte layout and CRC, and the builder's manifest.
#include <gtest/gtest.h>

#include <cstring>

#include "payload/archive.h"
#include "support/memstream.h"
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
    EXPECT_EQ(std::error_code(compress_errc::verification_failed).message(), "unknown error");

    EXPECT_EQ(folder_token(L"<InstallPath>"), FolderToken::InstallPath);
    EXPECT_EQ(folder_token(L"<Temporary>"), FolderToken::Temporary);
    EXPECT_FALSE(folder_token(L"<installpath>"));
    EXPECT_FALSE(folder_token(L" <InstallPath>"));
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
