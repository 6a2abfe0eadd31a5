#include "payload/payload_sink.h"

#include <algorithm>

#include "payload/destination_rules.h"
#include "payload/folder_tokens.h"
#include "payload/payload.h"

namespace ar {

PayloadSink::PayloadSink(PayloadFolders folders, notification_handler handler)
    : folders_(std::move(folders)), header_(std::make_unique<memstream>()), handler_(std::move(handler))
{
}

std::streamsize PayloadSink::write(const char* bytes, std::streamsize count)
{
    if (broken_)
        return count;
    try {
        if (state_ == 0)
            return writeHeader(bytes, count);
        if (state_ - 1 >= entries_.size())
            throw_compress_error(compress_errc::unexpected_error); // bytes after the last file
        return writeEntry(bytes, count);
    } catch (...) {
        broken_ = true;
        throw;
    }
}

void PayloadSink::finish()
{
    while (!broken_ && state_ >= 1 && state_ - 1 < entries_.size() && !entryOpen_ &&
           entries_[state_ - 1].size == 0)
        write(nullptr, 0);
}

std::streamsize PayloadSink::writeHeader(const char* bytes, std::streamsize count)
{
    std::uint64_t held = header_->data().size();
    std::uint64_t wanted = held < 8 ? 8 - held : dataOffset_ - held;
    std::streamsize take = static_cast<std::streamsize>(std::min<std::uint64_t>(wanted, count));
    header_->write(bytes, take);
    held += take;
    if (held == 8 && dataOffset_ == 0) {
        dataOffset_ = read_data_offset(header_->data());
        // A header that cannot hold an entry count, or that would never complete,
        // is refused at once rather than buffered.
        if (!plausible_data_offset(dataOffset_))
            throw_compress_error(compress_errc::unexpected_error);
    } else if (held == dataOffset_) {
        completeHeader();
    }
    return take;
}

void PayloadSink::completeHeader()
{
    // Every name must be one Windows can create and no two entries may go to one
    // file: such a header is refused before anything is written.
    std::vector<PayloadEntry> entries = parse_archive_header(header_->data());
    if (!entry_faults(entries).empty())
        throw_compress_error(compress_errc::unexpected_error);
    std::vector<std::wstring> files;
    for (auto& entry : entries) {
        entry.destination = resolve_destination(entry, folders_);
        files.push_back(entry.destination);
    }
    // Tokens that stand for the same folder here (<Temporary> without a temporary
    // folder is the installation folder) must not send two files to one place either.
    if (!same_paths(files).empty())
        throw_compress_error(compress_errc::unexpected_error);
    total_ = archive_length(dataOffset_, entries);
    entries_ = std::move(entries);
    position_ = dataOffset_;
    header_.reset();
    notifyOrInterrupt({notification::progress{position_, total_}});
    state_ = 1;
}

std::streamsize PayloadSink::writeEntry(const char* bytes, std::streamsize count)
{
    const PayloadEntry& entry = entries_[state_ - 1];
    if (!entryOpen_) {
        notification::result answer = notify({notification::file_begin{&entry}});
        if (answer == notification::result::abort)
            throw_compress_error(compress_errc::interrupted);
        remaining_ = entry.size;
        entryOpen_ = true;
        skipping_ = answer == notification::result::skip;
        if (!skipping_) {
            file_ = prepare_output_file(entry.destination);
            file_->exceptions(std::ios_base::badbit | std::ios_base::failbit);
        }
    }

    std::streamsize take = static_cast<std::streamsize>(std::min<std::uint64_t>(remaining_, count));
    if (!skipping_ && take > 0)
        file_->write(bytes, take);
    remaining_ -= take;
    position_ += take;
    notifyOrInterrupt({notification::progress{position_, total_}});

    if (remaining_ == 0) {
        if (!skipping_) {
            file_.reset();
            if (file_crc32(entry.destination) != entry.crc)
                throw_compress_error(compress_errc::invalid_checksum);
            notifyOrInterrupt({notification::file_end{&entry}});
        }
        entryOpen_ = false;
        skipping_ = false;
        ++state_;
    }
    return take;
}

notification::result PayloadSink::notify(notification message)
{
    return handler_(message);
}

void PayloadSink::notifyOrInterrupt(notification message)
{
    if (notify(std::move(message)) == notification::result::abort)
        throw_compress_error(compress_errc::interrupted);
}

} // namespace ar
