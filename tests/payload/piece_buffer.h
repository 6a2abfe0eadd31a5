// A source that hands out its bytes at most `piece` at a time, as a slow download or
// a pipe would; it counts what it handed out. Shared by the decoder tests and the
// bzip2 fuzz target.
#pragma once

#include <algorithm>
#include <cstddef>
#include <streambuf>

namespace ar::test {

class PieceBuf : public std::streambuf {
public:
    PieceBuf(const char* bytes, std::size_t size, std::size_t piece) : piece_(piece)
    {
        char* begin = const_cast<char*>(bytes);
        setg(begin, begin, begin + size);
    }
    std::size_t handedOut() const { return static_cast<std::size_t>(gptr() - eback()); }

protected:
    std::streamsize xsgetn(char* out, std::streamsize count) override
    {
        std::streamsize n = std::min<std::streamsize>({count, egptr() - gptr(), std::streamsize(piece_)});
        std::copy(gptr(), gptr() + n, out);
        gbump(static_cast<int>(n));
        return n;
    }

private:
    std::size_t piece_;
};

} // namespace ar::test
