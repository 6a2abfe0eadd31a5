// The verified blocks that do not fit in memory, kept on disk for the extraction:
// a file of the run's private folder, opened without sharing and deleted when it
// is closed, so that nobody else can read or change it meanwhile.
#pragma once

#include "payload/parallel_bzip2.h"
#include "support/handles.h"

#include <cstdint>
#include <string>

namespace ar {

class SpillFile final : public Bzip2Spill {
public:
    // Creates the file at `path`, which must not exist yet; false when it could not.
    bool create(const std::wstring& path);
    // Closes (and so deletes) it.
    void close() { file_.reset(); }
    bool isOpen() const { return static_cast<bool>(file_); }

    bool restart() override;
    bool append(const char* bytes, std::size_t count) override;
    bool read(std::uint64_t offset, char* bytes, std::size_t count) override;

private:
    bool seek(std::uint64_t offset);

    unique_hfile file_;
    std::uint64_t end_ = 0;
};

} // namespace ar
