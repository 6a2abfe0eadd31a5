// Archives for the payload tests, built with the payload builder's own code, and
// a handler that records what an extraction reports.
#pragma once

#include <algorithm>
#include <functional>
#include <random>
#include <sstream>
#include <stdexcept>

#include <bzlib.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "payload/archive.h"
#include "payload/destination_rules.h"
#include "payload/payload.h"
#include "tests/support/test_support.h"
#include "tools/archive_builder.h"

namespace ar {

// How GoogleTest shows a decoder parameter.
inline void PrintTo(bzip2_decoder decoder, std::ostream* out)
{
    *out << (decoder == bzip2_decoder::reference  ? "reference decoder"
             : decoder == bzip2_decoder::parallel ? "parallel decoder"
                                                  : "automatic decoder");
}

} // namespace ar

namespace ar::test {

struct TestFile {
    std::wstring source; // a source path; only its file name matters
    std::wstring folder; // destination folder with its token
    std::string content;
    FileKind kind = FileKind::Program;
};

inline std::vector<PayloadEntry> entriesOf(const std::vector<TestFile>& files)
{
    std::vector<PayloadEntry> entries;
    for (const auto& f : files)
        entries.push_back(
            {f.source, f.folder, f.kind, f.content.size(), crc32(0, f.content.data(), f.content.size())});
    return entries;
}

// The decompressed archive.
inline std::string rawArchive(const std::vector<TestFile>& files)
{
    std::string raw = encode_archive_header(entriesOf(files));
    for (const auto& f : files)
        raw += f.content;
    return raw;
}

// The compressed archive, as the builder writes it.
inline std::string buildArchive(const std::vector<TestFile>& files)
{
    std::ostringstream out;
    tools::ArchiveWriter writer(out, entriesOf(files));
    for (const auto& f : files)
        writer.write(f.content.data(), f.content.size());
    writer.finish();
    return out.str();
}

// Archives whose names or destinations the installer's reader refuses (and the
// listing with it), each a sound first entry and one at fault: what is wrong, the
// files, and a part of the listing's complaint.
struct RefusedArchive {
    const char* what;
    std::vector<TestFile> files;
    const char* complaint;
};

inline std::vector<RefusedArchive> refusedArchives()
{
    const TestFile sound = {L"C:\\b\\Pelorium.exe", L"<InstallPath>", "MZ", FileKind::MainProgram};
    auto with = [&](std::wstring source, std::wstring folder) {
        return std::vector<TestFile>{sound, {std::move(source), std::move(folder), "data"}};
    };
    return {
        {"forbidden character in a name", with(L"C:\\b\\a|b.dll", L"<InstallPath>"),
         "entry 2: file 'a|b.dll'"},
        {"device name with an extension", with(L"C:\\b\\Nul.txt", L"<InstallPath>"), "reserved device name"},
        {"trailing blank", with(L"C:\\b\\readme ", L"<InstallPath>"), "ends in a blank"},
        {"control character in a folder", with(L"x.dll", L"<InstallPath>\\a\tb"), "control character U+0009"},
        {"folder element ..", with(L"x.dll", L"<InstallPath>\\..\\..\\Windows"), "'..' is no name"},
        {"folder element .", with(L"x.dll", L"<InstallPath>\\.\\Lang"), "'.' is no name"},
        {"folder with a trailing dot", with(L"x.dll", L"<InstallPath>\\Lang."), "ends in a dot"},
        {"no folder token", with(L"x.dll", L"C:\\Windows"), "does not begin with a folder token"},
        {"unpaired surrogate",
         with(std::wstring(L"x") + static_cast<wchar_t>(0xD83D) + L".dll", L"<InstallPath>"),
         "unpaired UTF-16 surrogate"},
        {"byte-order mark in a name",
         with(std::wstring(1, static_cast<wchar_t>(0xFEFF)) + L"x.dll", L"<InstallPath>"), "U+FEFF"},
        {"same file through / and a doubled separator",
         {{L"a.dll", L"<InstallPath>\\Lang", "1"}, {L"A.DLL", L"<InstallPath>//Lang\\", "2"}},
         "entry 2: same destination file as entry 1"},
        {"same file but for case outside ASCII",
         {{L"\u00C4rger.dll", L"<InstallPath>\\\u0394ata", "1"},
          {L"\u00E4rger.dll", L"<InstallPath>\\\u03B4ata", "2"}},
         "entry 2: same destination file as entry 1"},
    };
}

// `bytes` as bzip2 streams of the given block size (1 to 9, in 100 000 bytes),
// one stream per piece of at most `streamSize` bytes (0: one stream), concatenated.
inline std::string bzip2Streams(const std::string& bytes, int level, std::size_t streamSize = 0)
{
    std::string out;
    std::size_t at = 0;
    do {
        std::size_t size = streamSize ? std::min(streamSize, bytes.size() - at) : bytes.size();
        std::string piece(size + size / 50 + 1024, '\0');
        auto length = static_cast<unsigned>(piece.size());
        if (BZ2_bzBuffToBuffCompress(piece.data(), &length, const_cast<char*>(bytes.data() + at),
                                     static_cast<unsigned>(size), level, 0, 0) != BZ_OK)
            throw std::runtime_error("bzip2 compression failed");
        out.append(piece, 0, length);
        at += size;
    } while (at < bytes.size());
    return out;
}

// Words and numbers in random order, the same for the same seed.
inline std::string sampleText(std::size_t size, unsigned seed)
{
    static const char* const words[] = {"pelorium ", "lattice ", "crystal ", "Texture ", "sample\r\n",
                                        "0x314159 ", "render ",  "shade ",   "quartz ",  "mineral "};
    std::mt19937 random(seed);
    std::string text;
    while (text.size() < size)
        text += words[random() % 10] + std::to_string(random() % 1000);
    text.resize(size);
    return text;
}

// One notification as recorded (entry pointers do not outlive the extraction).
struct Event {
    std::size_t index = 0;
    std::wstring path;          // file_begin/file_end: destination; failed: path
    std::uint64_t position = 0; // progress position, finished compressed size
    std::uint64_t total = 0;
    std::error_code code; // failed
};

class Recorder {
public:
    // Decides the answer to each notification; proceed by default.
    std::function<notification::result(const notification&)> reply;

    notification_handler handler()
    {
        return [this](const notification& n) {
            Event e;
            e.index = n.index();
            if (auto* b = n.get_if<notification::file_begin>())
                e.path = b->entry->destination;
            if (auto* d = n.get_if<notification::file_end>())
                e.path = d->entry->destination;
            if (auto* p = n.get_if<notification::progress>()) {
                e.position = p->position;
                e.total = p->total;
            }
            if (auto* f = n.get_if<notification::finished>()) {
                e.position = f->compressed;
                e.total = f->total;
            }
            if (auto* f = n.get_if<notification::failed>()) {
                e.code = f->code;
                e.path = f->path;
            }
            events.push_back(e);
            return reply ? reply(n) : notification::result::proceed;
        };
    }

    std::vector<Event> of(std::size_t index) const
    {
        std::vector<Event> found;
        for (const auto& e : events)
            if (e.index == index)
                found.push_back(e);
        return found;
    }
    std::size_t count(std::size_t index) const { return of(index).size(); }

    std::vector<Event> events;
};

// A reply that answers `started` as the installation run does: the whole payload is
// verified (the extraction fails when it does not verify), rewound, and extracted.
inline std::function<notification::result(const notification&)> verifyOnStart(std::istream& source,
                                                                               PayloadDecoding& decoding)
{
    return [&source, &decoding](const notification& n) {
        if (n.get_if<notification::started>()) {
            if (!verify_payload(source, decoding))
                throw_compress_error(compress_errc::verification_failed);
            source.clear();
            source.seekg(0);
        }
        return notification::result::proceed;
    };
}

inline constexpr std::size_t kStarted = 0, kFinished = 1, kFileBegin = 2, kFileEnd = 3, kProgress = 4,
                             kFailed = 5;

// Three folders under one temporary root.
struct Folders {
    TempDir root{L"pl"};
    PayloadFolders folders{root / L"install", root / L"sample", root / L"temp"};
};

// Cases of the suites that derive from it run once with each bzip2 decoder
// (instantiate with AR_FOR_EACH_DECODER), which must give the same results.
class EachDecoder : public ::testing::TestWithParam<bzip2_decoder> {
protected:
    bool verify(std::istream& source) { return verify_payload(source, decoding); }
    bool extractPayload(std::istream& source, const PayloadFolders& folders, notification_handler handler)
    {
        return extract_payload(source, folders, std::move(handler), decoding);
    }
    bool extract(const std::string& compressed, const PayloadFolders& folders, Recorder& recorder)
    {
        imemstream source(compressed.data(), compressed.size());
        return extractPayload(source, folders, recorder.handler());
    }
    std::function<notification::result(const notification&)> verifyOnStart(std::istream& source)
    {
        return test::verifyOnStart(source, decoding);
    }

    PayloadDecoding decoding{GetParam()};
};

inline std::string decoderName(const ::testing::TestParamInfo<bzip2_decoder>& info)
{
    return info.param == bzip2_decoder::reference ? "Reference" : "Parallel";
}

#define AR_FOR_EACH_DECODER(suite)                                                                           \
    INSTANTIATE_TEST_SUITE_P(, suite, ::testing::Values(bzip2_decoder::reference, bzip2_decoder::parallel),  \
                             decoderName)

} // namespace ar::test
