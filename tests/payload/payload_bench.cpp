// Times one payload phase as the installation run performs it: verify the whole
// compressed stream, rewind, extract every file (each read back for its CRC).
// Prints the times and the process's peak memory; used by scripts/bench-payload.
// As in the run, what the verification decodes beyond its memory is kept in a
// spill file (in FOLDER\temp) for the extraction; its size is printed.
//
//   payload_bench [--reference | --parallel] ARCHIVE.bz2 FOLDER
//
// By default the decoder is chosen as in the installer (parallel on more than one
// core); --reference times Boost.Iostreams' single-stream decoder.
//
// The archive is streamed from its file, so the figures show the reader's own
// memory, not pages of a mapped source.
#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <fstream>

#include "payload/payload.h"
#include "payload/spill_file.h"

namespace {

// User plus kernel time of this process so far, in seconds.
double cpuSeconds()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto value = [](const FILETIME& t) {
        return (ULONGLONG(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e7;
    };
    return value(kernel) + value(user);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    ar::bzip2_decoder decoder = ar::bzip2_decoder::automatic;
    if (argc == 4 && std::wstring(argv[1]) == L"--reference")
        decoder = ar::bzip2_decoder::reference;
    else if (argc == 4 && std::wstring(argv[1]) == L"--parallel")
        decoder = ar::bzip2_decoder::parallel;
    else if (argc != 3) {
        std::fprintf(stderr, "usage: payload_bench [--reference | --parallel] ARCHIVE.bz2 FOLDER\n");
        return 2;
    }
    argv += argc - 3;
    std::ifstream source(argv[1], std::ios::binary);
    if (!source) {
        std::fprintf(stderr, "cannot read %ls\n", argv[1]);
        return 1;
    }
    std::wstring folder = argv[2];
    ar::PayloadFolders folders{folder + L"\\install", folder + L"\\sample", folder + L"\\temp"};

    using clock = std::chrono::steady_clock;
    clock::time_point start = clock::now(), verified = start;
    double cpuStart = cpuSeconds(), cpuVerified = cpuStart;
    std::uint64_t files = 0, total = 0, compressed = 0;
    ar::PayloadDecoding decoding(decoder);
    CreateDirectoryW(folders.tempFolder.c_str(), nullptr);
    const std::wstring spillPath = folders.tempFolder + L"\\verified-blocks.spill";
    DeleteFileW(spillPath.c_str());
    ar::SpillFile spill;
    if (decoder != ar::bzip2_decoder::reference && spill.create(spillPath))
        decoding.verifiedBlocks().spillTo(&spill, UINT64_MAX);
    std::uint64_t spilled = 0;
    bool ok = ar::extract_payload(source, folders, [&](const ar::notification& n) {
        if (n.get_if<ar::notification::started>()) {
            if (!ar::verify_payload(source, decoding))
                ar::throw_compress_error(ar::compress_errc::verification_failed);
            source.clear();
            source.seekg(0);
            verified = clock::now();
            cpuVerified = cpuSeconds();
            spilled = decoding.verifiedBlocks().spilled();
        }
        files += n.get_if<ar::notification::file_end>() != nullptr;
        if (auto* f = n.get_if<ar::notification::finished>()) {
            total = f->total;
            compressed = f->compressed;
        }
        if (auto* f = n.get_if<ar::notification::failed>())
            std::fprintf(stderr, "failed: %s (%d) %ls\n", f->code.message().c_str(), f->code.value(),
                         f->path.c_str());
        return ar::notification::result::proceed;
    }, decoding);
    clock::time_point end = clock::now();
    double cpuEnd = cpuSeconds();
    if (!ok)
        return 1;

    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    auto seconds = [](clock::duration d) { return std::chrono::duration<double>(d).count(); };
    std::printf("files %llu, archive %.1f MB, compressed %.1f MB\n", static_cast<unsigned long long>(files),
                total / 1048576.0, compressed / 1048576.0);
    std::printf("verify %.2f s, extract %.2f s, payload phase %.2f s\n", seconds(verified - start),
                seconds(end - verified), seconds(end - start));
    std::printf("cpu: verify %.2f s, extract %.2f s, payload phase %.2f s\n", cpuVerified - cpuStart,
                cpuEnd - cpuVerified, cpuEnd - cpuStart);
    std::printf("spilled %.1f MB\n", spilled / 1048576.0);
    std::printf("peak working set %.2f MB, peak private %.2f MB\n", memory.PeakWorkingSetSize / 1048576.0,
                memory.PeakPagefileUsage / 1048576.0);
    return 0;
}
