// Damaged archives: every truncation and many single-byte changes (fixed seeds) of
// a small valid archive, both of the archive itself (recompressed, so the damage
// reaches the parser) and of its compressed stream. Each run must end in success
// with intact files or in exactly one `failed` notification with the code that
// the damaged place calls for, and must write nothing outside the given folders.
// Every case runs with both bzip2 decoders.
#include <gtest/gtest.h>

#include <random>

#include <boost/filesystem/operations.hpp>

#include "tests/payload/payload_test_util.h"

namespace ar::test {
namespace {

namespace fs = boost::filesystem;

const std::vector<TestFile>& files()
{
    static const std::vector<TestFile> list = {
        {L"C:\\b\\Pelorium.de.dll", L"<InstallPath>\\Lang", "German texts, a few of them", FileKind::Program},
        {L"C:\\b\\Empty.pm-lib", L"<SamplePath>\\Data", "", FileKind::EditableData},
        {L"C:\\b\\DSETUP.dll", L"<Temporary>", "set-up library bytes", FileKind::SetupTemporary},
        {L"C:\\b\\Pelorium.exe", L"<InstallPath>", "MZ the main program", FileKind::MainProgram}};
    return list;
}

// Where each field of the archive lies.
struct Layout {
    struct Entry {
        std::size_t sourceLength, source, destinationLength, destination, kind, size, crc, dataBegin, dataEnd;
    };
    std::size_t dataOffset = 0;
    std::vector<Entry> entries;

    explicit Layout(const std::vector<TestFile>& list)
    {
        std::size_t at = 12;
        for (const auto& f : list) {
            Entry e{};
            e.sourceLength = at;
            e.source = at + 4;
            e.destinationLength = e.source + 2 * f.source.size();
            e.destination = e.destinationLength + 4;
            e.kind = e.destination + 2 * f.folder.size();
            e.size = e.kind + 4;
            e.crc = e.size + 8;
            at = e.crc + 4;
            entries.push_back(e);
        }
        dataOffset = at;
        for (std::size_t i = 0; i < list.size(); ++i) {
            entries[i].dataBegin = at;
            at += list[i].content.size();
            entries[i].dataEnd = at;
        }
    }
};

class Mutations : public EachDecoder {
protected:
    Mutations() : raw_(rawArchive(files())), layout_(files())
    {
        folders_ = {root_ / L"install", root_ / L"sample", root_ / L"temp"};
        cwd_ = root_ / L"cwd";
        fs::create_directories(cwd_);
        GetCurrentDirectoryW(MAX_PATH, previous_);
        SetCurrentDirectoryW(cwd_.c_str());
        for (const auto& f : files())
            expectedPaths_.push_back(resolve(f));
    }
    ~Mutations() override { SetCurrentDirectoryW(previous_); }

    std::wstring resolve(const TestFile& f) const
    {
        std::wstring folder = f.folder;
        folder.replace(0, folder.find(L'>') + 1,
                       folder[1] == L'I'   ? folders_.installFolder
                       : folder[1] == L'S' ? folders_.sampleFolder
                                           : folders_.tempFolder);
        return folder + L"\\" + file_name_of(f.source);
    }

    // Runs one extraction of `compressed`; checks what every run must satisfy and
    // returns the failure, if any. With `verifyFirst` the handler verifies the
    // stream on `started`, as the installation run does.
    std::optional<Event> run(const std::string& compressed, const std::string& what, bool verifyFirst = false)
    {
        for (const auto& folder : {folders_.installFolder, folders_.sampleFolder, folders_.tempFolder})
            removeTree(folder);
        imemstream source(compressed.data(), compressed.size());
        Recorder r;
        if (verifyFirst)
            r.reply = verifyOnStart(source);
        bool ok = extractPayload(source, folders_, r.handler());

        EXPECT_EQ(r.count(kStarted), 1u) << what;
        EXPECT_EQ(ok, r.count(kFailed) == 0) << what;
        if (!ok) {
            EXPECT_EQ(r.count(kFailed), 1u) << what;
            EXPECT_EQ(r.events.back().index, kFailed) << what;
        }
        for (fs::directory_iterator it(root_.path()), end; it != end; ++it) {
            std::wstring name = it->path().filename().wstring();
            EXPECT_TRUE(name == L"install" || name == L"sample" || name == L"temp" || name == L"cwd")
                << what << ": wrote " << narrow(it->path().wstring());
        }
        EXPECT_TRUE(fs::is_empty(cwd_)) << what << ": wrote into the current folder";
        if (ok)
            return std::nullopt;
        return r.events.back();
    }

    void expectIntact(const std::string& what)
    {
        for (std::size_t i = 0; i < files().size(); ++i)
            EXPECT_EQ(readFile(expectedPaths_[i]), files()[i].content) << what;
    }

    static std::string describe(const char* kind, std::size_t at, int value)
    {
        return std::string(kind) + " at " + std::to_string(at) + " (xor " + std::to_string(value) + ")";
    }

    TempDir root_{L"mut"};
    PayloadFolders folders_;
    std::wstring cwd_;
    wchar_t previous_[MAX_PATH] = {};
    std::string raw_;
    Layout layout_;
    std::vector<std::wstring> expectedPaths_;
};

TEST_P(Mutations, IntactArchiveExtracts)
{
    EXPECT_FALSE(run(tools::bzip2_compress(raw_), "intact"));
    expectIntact("intact");
}

TEST_P(Mutations, EveryTruncationOfTheArchiveIsUnexpected)
{
    for (std::size_t length = 0; length < raw_.size(); ++length) {
        std::string what = "archive cut to " + std::to_string(length);
        auto failure = run(tools::bzip2_compress(raw_.substr(0, length)), what);
        ASSERT_TRUE(failure) << what;
        EXPECT_EQ(failure->code, compress_errc::unexpected_error) << what;
    }
}

TEST_P(Mutations, EveryTruncationOfTheCompressedStreamFailsVerification)
{
    std::string compressed = tools::bzip2_compress(raw_);
    for (std::size_t length = 0; length < compressed.size(); ++length) {
        std::string what = "stream cut to " + std::to_string(length);
        auto verified = run(compressed.substr(0, length), what, true);
        ASSERT_TRUE(verified) << what;
        EXPECT_EQ(verified->code, compress_errc::verification_failed) << what;
        EXPECT_FALSE(exists(folders_.installFolder)) << what;
        // Unverified, the decompressor itself reports the damage.
        auto direct = run(compressed.substr(0, length), what);
        ASSERT_TRUE(direct) << what;
        EXPECT_EQ(direct->code, length == 0 ? compress_errc::unexpected_error : compress_errc::bzip2_error)
            << what;
    }
}

// One byte of the archive changed at every position, recompressed.
TEST_P(Mutations, EveryChangedArchiveByteEndsAsItsPlaceCallsFor)
{
    std::mt19937 random(20260706);
    for (std::size_t at = 0; at < raw_.size(); ++at) {
        int change = std::uniform_int_distribution<int>(1, 255)(random);
        std::string damaged = raw_;
        damaged[at] = static_cast<char>(damaged[at] ^ change);
        std::string what = describe("archive byte", at, change);
        auto failure = run(tools::bzip2_compress(damaged), what);

        if (at < 8) {
            // A shorter header runs out of room; a longer one takes the first file's
            // bytes, which then fails its checksum, if the data still holds that file.
            std::uint64_t offset = read_data_offset(damaged);
            bool parses = offset >= layout_.dataOffset && offset + files()[0].content.size() <= raw_.size();
            ASSERT_TRUE(failure) << what;
            EXPECT_EQ(failure->code,
                      parses ? compress_errc::invalid_checksum : compress_errc::unexpected_error)
                << what;
            continue;
        }
        if (at < 12) { // the entry count: too many do not fit, too few leave bytes over
            ASSERT_TRUE(failure) << what;
            EXPECT_EQ(failure->code, compress_errc::unexpected_error) << what;
            continue;
        }
        for (std::size_t i = 0; i < layout_.entries.size(); ++i) {
            const auto& e = layout_.entries[i];
            if (at >= e.kind && at < e.size) { // the kind means nothing to the reader
                EXPECT_FALSE(failure) << what;
                if (!failure)
                    expectIntact(what);
            } else if ((at >= e.crc && at < e.crc + 4) || (at >= e.dataBegin && at < e.dataEnd)) {
                ASSERT_TRUE(failure) << what;
                EXPECT_EQ(failure->code, compress_errc::invalid_checksum) << what;
                EXPECT_EQ(failure->path, expectedPaths_[i]) << what;
            } else if (at >= e.size && at < e.crc) {
                // A changed size: that file's checksum fails, or the data ends inside it.
                std::uint64_t size =
                    files()[i].content.size() ^ (static_cast<std::uint64_t>(change) << 8 * (at - e.size));
                ASSERT_TRUE(failure) << what;
                bool fits = size <= raw_.size() - e.dataBegin;
                EXPECT_EQ(failure->code,
                          fits ? compress_errc::invalid_checksum : compress_errc::unexpected_error)
                    << what;
                if (fits) {
                    EXPECT_EQ(failure->path, expectedPaths_[i]) << what;
                }
            }
            // Lengths and texts: anything the general checks in run() allow.
        }
    }
}

// Single-byte changes of the compressed stream: verification catches them all,
// except changes that the stream does not depend on (padding bits), after which
// the files come out intact.
TEST_P(Mutations, ChangedCompressedBytesNeverReachTheFiles)
{
    std::string compressed = tools::bzip2_compress(raw_);
    std::mt19937 random(706);
    for (std::size_t at = 0; at < compressed.size(); ++at) {
        int change = std::uniform_int_distribution<int>(1, 255)(random);
        std::string damaged = compressed;
        damaged[at] = static_cast<char>(damaged[at] ^ change);
        std::string what = describe("stream byte", at, change);
        auto failure = run(damaged, what, true);
        if (failure) {
            EXPECT_EQ(failure->code, compress_errc::verification_failed) << what;
            EXPECT_FALSE(exists(folders_.installFolder)) << what;
        } else {
            expectIntact(what);
        }
    }
}

AR_FOR_EACH_DECODER(Mutations);

} // namespace
} // namespace ar::test
