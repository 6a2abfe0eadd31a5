// The output device of an extraction: parses the archive as the decompressed
// bytes arrive and writes each file straight to its destination.
#pragma once

#include <cstdint>
#include <ios>
#include <memory>
#include <ostream>
#include <vector>

#include "payload/archive.h"
#include "support/memstream.h"

namespace ar {

class PayloadSink {
public:
    PayloadSink(PayloadFolders folders, notification_handler handler);

    // Takes decompressed bytes, at most up to the end of the current section (the
    // data offset, the rest of the header, the current file) and returns how many;
    // 0 for a file of length 0, which completes without taking anything. The caller
    // offers the rest again. After a failure everything is swallowed.
    std::streamsize write(const char* bytes, std::streamsize count);

    // At the end of the data: completes files of length 0 that stand after the last
    // byte, which no write would otherwise reach.
    void finish();

    const std::vector<PayloadEntry>& entries() const { return entries_; }
    std::uint64_t dataOffset() const { return dataOffset_; }
    std::uint64_t position() const { return position_; }
    std::uint64_t total() const { return total_; }
    // 0 while the header is read, k while entry k-1 is received.
    std::uint32_t state() const { return state_; }
    bool entryOpen() const { return entryOpen_; }
    bool broken() const { return broken_; }
    // The entry being received, if its file_begin was answered.
    const PayloadEntry* openEntry() const { return entryOpen_ ? &entries_[state_ - 1] : nullptr; }

private:
    std::streamsize writeHeader(const char* bytes, std::streamsize count);
    void completeHeader();
    std::streamsize writeEntry(const char* bytes, std::streamsize count);
    notification::result notify(notification message);
    void notifyOrInterrupt(notification message);

    PayloadFolders folders_;
    std::vector<PayloadEntry> entries_;
    std::uint64_t dataOffset_ = 0;
    std::uint64_t position_ = 0;
    std::uint64_t total_ = 0;
    std::unique_ptr<memstream> header_;  // buffers the header until it is complete
    std::unique_ptr<std::ostream> file_; // the file being written
    notification_handler handler_;
    std::uint32_t state_ = 0;
    bool entryOpen_ = false;
    std::uint64_t remaining_ = 0;
    bool skipping_ = false;
    bool broken_ = false;
};

} // namespace ar
