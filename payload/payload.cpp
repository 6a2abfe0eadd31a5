#include "payload/payload.h"

#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <thread>

#include <boost/filesystem/operations.hpp>
#include <boost/iostreams/compose.hpp>
#include <boost/iostreams/copy.hpp>
#include <boost/iostreams/device/null.hpp>
#include <boost/iostreams/filter/bzip2.hpp>
#include <boost/iostreams/filtering_stream.hpp>
#include <boost/system/system_error.hpp>

#include "payload/parallel_bzip2.h"
#include "payload/payload_sink.h"
#include "support/elevated_files.h"
#include "support/handles.h"
#include "support/module_state.h"

namespace ar {
namespace {

namespace fs = boost::filesystem;
namespace io = boost::iostreams;

constexpr std::streamsize chunkSize = 4096;

[[noreturn]] void throwLastError(DWORD error)
{
    if (error == 0)
        throw_compress_error(compress_errc::unexpected_error);
    throw std::system_error(static_cast<int>(error), std::system_category());
}

// Boost.Iostreams copies its devices; this one only points at the sink, and
// offers each block again until the sink has taken all of it.
class SinkDevice {
public:
    using char_type = char;
    using category = io::sink_tag;

    explicit SinkDevice(PayloadSink& sink) : sink_(&sink) {}

    std::streamsize write(const char* bytes, std::streamsize count)
    {
        std::streamsize done = 0;
        while (done < count)
            done += sink_->write(bytes + done, count - done);
        return count;
    }

private:
    PayloadSink* sink_;
};

// Worker threads for the parallel decoder (0: the reference): one per core, but no
// more than three, whose blocks in flight and decoder states, with the verified
// blocks, stay below 64 MB.
unsigned decoderWorkers(bzip2_decoder decoder)
{
    constexpr unsigned maxWorkers = 3;
    unsigned cores = std::min(std::thread::hardware_concurrency(), maxWorkers);
    switch (decoder) {
    case bzip2_decoder::reference:
        return 0;
    case bzip2_decoder::parallel:
        return std::max(cores, 2u);
    case bzip2_decoder::automatic:
        break;
    }
    return cores > 1 ? cores : 0;
}

// Copies `source` through the bzip2 decompressor into `sink` (none: discarded)
// in 4096-byte blocks; returns the compressed bytes read.
std::streamsize decompress(std::istream& source, PayloadSink* sink, PayloadDecoding& decoding)
{
    if (unsigned workers = decoderWorkers(decoding.decoder())) {
        std::optional<ParallelBzip2> parallel;
        try {
            parallel.emplace(source, workers, sink != nullptr, &decoding.verifiedBlocks());
        } catch (const std::system_error&) {
            // No threads: the reference decoder below, nothing has been read yet.
        }
        if (parallel) {
            ParallelBzip2::Writer write;
            if (sink)
                write = [device = SinkDevice(*sink)](const char* bytes, std::size_t count) mutable {
                    device.write(bytes, static_cast<std::streamsize>(count));
                };
            return static_cast<std::streamsize>(parallel->run(write));
        }
    }
    auto decompressor = io::bzip2_decompressor(io::bzip2::default_small, chunkSize);
    if (sink)
        return io::copy(source, io::compose(decompressor, SinkDevice(*sink)), chunkSize);
    return io::copy(source, io::compose(decompressor, io::null_sink()), chunkSize);
}

// An unbuffered stream buffer writing straight to a file handle: the sink hands
// it whole blocks. A failed write raises the system's error code.
class FileBuf : public std::streambuf {
public:
    explicit FileBuf(unique_hfile file) : file_(std::move(file)) {}

protected:
    std::streamsize xsputn(const char* bytes, std::streamsize count) override
    {
        std::streamsize done = 0;
        while (done < count) {
            DWORD step = static_cast<DWORD>(std::min<std::streamsize>(count - done, 1 << 30));
            DWORD written = 0;
            if (!WriteFile(file_.get(), bytes + done, step, &written, nullptr))
                throwLastError(GetLastError());
            done += written;
        }
        return count;
    }

    int_type overflow(int_type c) override
    {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        char byte = traits_type::to_char_type(c);
        xsputn(&byte, 1);
        return c;
    }

private:
    unique_hfile file_;
};

class FileStream : public std::ostream {
public:
    explicit FileStream(unique_hfile file) : std::ostream(nullptr), buf_(std::move(file)) { init(&buf_); }

private:
    FileBuf buf_;
};

// The code a failure of the extraction is reported with, first match wins.
std::error_code failure_code(const std::exception& failure)
{
    // A bzip2 error is a stream failure too, but names its own cause.
    if (dynamic_cast<const io::bzip2_error*>(&failure))
        return compress_errc::bzip2_error;
    if (dynamic_cast<const std::ios_base::failure*>(&failure)) {
        if (_doserrno != 0)
            return {static_cast<int>(_doserrno), std::system_category()};
        if (errno != 0)
            return {errno, std::generic_category()};
    }
    if (auto* systemError = dynamic_cast<const std::system_error*>(&failure))
        return systemError->code();
    if (auto* boostError = dynamic_cast<const boost::system::system_error*>(&failure)) {
        const auto& code = boostError->code();
        if (code.category() == boost::system::generic_category())
            return {code.value(), std::generic_category()};
        if (code.category() == boost::system::system_category())
            return {code.value(), std::system_category()};
    }
    return compress_errc::unexpected_error;
}

} // namespace

imemstream open_payload_resource()
{
    HMODULE module = resourceModule();
    HRSRC resource =
        FindResourceW(module, MAKEINTRESOURCEW(payloadResourceId), MAKEINTRESOURCEW(payloadResourceType));
    HMODULE executable = GetModuleHandleW(nullptr);
    if (!resource && module != executable) {
        module = executable;
        resource =
            FindResourceW(module, MAKEINTRESOURCEW(payloadResourceId), MAKEINTRESOURCEW(payloadResourceType));
    }
    if (!resource)
        return imemstream();
    HGLOBAL loaded = LoadResource(module, resource);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    DWORD size = SizeofResource(module, resource);
    if (!bytes || size == 0)
        return imemstream();
    return imemstream(static_cast<const char*>(bytes), size);
}

bool verify_payload(std::istream& source)
{
    PayloadDecoding decoding;
    return verify_payload(source, decoding);
}

bool verify_payload(std::istream& source, PayloadDecoding& decoding)
{
    Bzip2BlockCache& verifiedBlocks = decoding.verifiedBlocks();
    verifiedBlocks.clear();
    try {
        decompress(source, nullptr, decoding);
        if (source.good() &&
            std::istream::traits_type::eq_int_type(source.rdbuf()->sgetc(), std::istream::traits_type::eof()))
            return true;
    } catch (const std::exception&) {
    }
    verifiedBlocks.clear();
    return false;
}

std::vector<PayloadEntry> read_payload_entries(std::istream& source)
{
    std::string header(8, '\0');
    try {
        io::filtering_istream in;
        in.push(io::bzip2_decompressor(io::bzip2::default_small, chunkSize));
        in.push(source);
        auto readInto = [&](size_t from) {
            in.read(&header[from], static_cast<std::streamsize>(header.size() - from));
            if (static_cast<size_t>(in.gcount()) != header.size() - from)
                throw_compress_error(compress_errc::unexpected_error);
        };
        readInto(0);
        std::uint64_t dataOffset = read_data_offset(header);
        if (!plausible_data_offset(dataOffset))
            throw_compress_error(compress_errc::unexpected_error);
        header.resize(static_cast<size_t>(dataOffset));
        readInto(8);
    } catch (const io::bzip2_error&) {
        throw_compress_error(compress_errc::bzip2_error);
    }
    return parse_archive_header(header);
}

bool extract_payload(std::istream& source, PayloadFolders folders, notification_handler handler)
{
    PayloadDecoding decoding;
    return extract_payload(source, std::move(folders), std::move(handler), decoding);
}

bool extract_payload(std::istream& source, PayloadFolders folders, notification_handler handler,
                     PayloadDecoding& decoding)
{
    if (!handler)
        throw std::invalid_argument("extract_payload needs a notification handler");
    std::wstring failurePath;
    struct Forget {
        Bzip2BlockCache& blocks;
        ~Forget() { blocks.clear(); }
    } forget{decoding.verifiedBlocks()}; // the blocks are for this extraction only
    try {
        handler({notification::started{}});
        PayloadSink sink(std::move(folders), handler);
        std::streamsize compressed = 0;
        try {
            // No payload at all is not a damaged stream: it ends below as an archive
            // that never completed its header.
            if (!std::istream::traits_type::eq_int_type(source.rdbuf()->sgetc(),
                                                        std::istream::traits_type::eof()))
                compressed = decompress(source, &sink, decoding);
            sink.finish();
        } catch (...) {
            if (const PayloadEntry* entry = sink.openEntry())
                failurePath = entry->destination;
            throw;
        }
        if (sink.total() != 0 && sink.position() == sink.total()) {
            handler({notification::finished{static_cast<std::uint64_t>(compressed), sink.total()}});
            return true;
        }
        throw_compress_error(compress_errc::unexpected_error); // the archive ended early
    } catch (const std::exception& failure) {
        if (failurePath.empty())
            if (auto* fsError = dynamic_cast<const fs::filesystem_error*>(&failure))
                failurePath = fsError->path1().wstring();
        handler({notification::failed{failure_code(failure), failurePath}});
        return false;
    }
}

std::uint32_t file_crc32(const std::wstring& path)
{
    constexpr int attempts = 4;
    for (int attempt = 1;; ++attempt) {
        DWORD error = 0;
        unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (file) {
            std::uint32_t crc = 0;
            char block[chunkSize];
            for (;;) {
                DWORD read = 0;
                if (!ReadFile(file.get(), block, sizeof block, &read, nullptr)) {
                    error = GetLastError();
                    break;
                }
                if (read == 0)
                    return crc;
                crc = crc32(crc, block, read);
            }
        } else {
            error = GetLastError();
        }
        // Another process (a virus scanner, typically) may hold a file that was
        // just closed for a moment.
        if (error == ERROR_SHARING_VIOLATION && attempt < attempts) {
            Sleep(1000);
            continue;
        }
        throwLastError(error);
    }
}

std::unique_ptr<std::ostream> prepare_output_file(const std::wstring& destination)
{
    // The file is written where its name is, never through a link: an existing
    // one must be a plain file with one name (it is emptied through its handle,
    // read-only or not), a new one is created with CREATE_NEW, so that a dangling
    // link in its place is never written through.
    fs::path path(destination);
    const std::wstring folder = path.parent_path().wstring();
    boost::system::error_code error;
    unique_hfile file;
    if (fs::exists(fs::symlink_status(path, error))) {
        file = openBelow(folder, destination, NodeKind::File,
                         GENERIC_WRITE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
        FILE_BASIC_INFO basic{};
        if (file && GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof basic)) {
            basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
            SetFileInformationByHandle(file.get(), FileBasicInfo, &basic, sizeof basic);
        }
        if (file && !SetEndOfFile(file.get()))
            file.reset();
        else if (!file && GetLastError() == ERROR_DIRECTORY)
            SetLastError(ERROR_ACCESS_DENIED); // a folder where the file goes, as the system says it
    } else {
        if (!folder.empty() && !fs::exists(path.parent_path()))
            fs::create_directories(path.parent_path());
        file = createBelow(folder, destination, GENERIC_WRITE, FILE_SHARE_READ);
    }
    if (!file)
        throwLastError(GetLastError());
    return std::make_unique<FileStream>(std::move(file));
}

} // namespace ar
