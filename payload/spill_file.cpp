#include "payload/spill_file.h"

#include <windows.h>

#include <algorithm>

namespace ar {

namespace {

constexpr std::size_t maxTransfer = 1u << 20;

// Moves `count` bytes in pieces that a DWORD can count; false unless all of them moved.
template <typename Move>
bool inPieces(std::size_t count, Move move)
{
    for (std::size_t done = 0; done < count;) {
        const DWORD part = static_cast<DWORD>(std::min(count - done, maxTransfer));
        DWORD moved = 0;
        if (!move(done, part, moved) || moved != part)
            return false;
        done += part;
    }
    return true;
}

} // namespace

bool SpillFile::create(const std::wstring& path)
{
    file_.reset(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    end_ = 0;
    return isOpen();
}

bool SpillFile::seek(std::uint64_t offset)
{
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    return file_ && SetFilePointerEx(file_.get(), at, nullptr, FILE_BEGIN);
}

bool SpillFile::restart()
{
    end_ = 0;
    return seek(0) && SetEndOfFile(file_.get());
}

bool SpillFile::append(const char* bytes, std::size_t count)
{
    if (!seek(end_) || !inPieces(count, [&](std::size_t done, DWORD part, DWORD& moved) {
            return WriteFile(file_.get(), bytes + done, part, &moved, nullptr) != FALSE;
        }))
        return false;
    end_ += count;
    return true;
}

bool SpillFile::read(std::uint64_t offset, char* bytes, std::size_t count)
{
    return offset + count <= end_ && seek(offset) &&
           inPieces(count, [&](std::size_t done, DWORD part, DWORD& moved) {
               return ReadFile(file_.get(), bytes + done, part, &moved, nullptr) != FALSE;
           });
}

} // namespace ar
