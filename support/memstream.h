// Memory streams: a stream buffer that either views a caller's block read-only
// (the payload resource, used in place) or owns a growable block (the archive
// header while it arrives), and the two streams built on it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <ios>
#include <istream>
#include <limits>
#include <memory>
#include <streambuf>
#include <string_view>
#include <utility>

namespace ar {

template <typename CharT, typename Traits = std::char_traits<CharT>>
class basic_membuf : public std::basic_streambuf<CharT, Traits> {
public:
    using char_type = CharT;
    using traits_type = Traits;
    using int_type = typename Traits::int_type;
    using pos_type = typename Traits::pos_type;
    using off_type = typename Traits::off_type;

    // An owned, growable block, empty until the first write.
    explicit basic_membuf(std::ios_base::openmode mode = std::ios_base::in | std::ios_base::out) : mode_(mode)
    {
    }

    // A read-only view of `size` characters at `data`; the block is never copied or freed.
    basic_membuf(const CharT* data, std::size_t size) : mode_(std::ios_base::in)
    {
        CharT* begin = const_cast<CharT*>(data);
        high_ = begin + size;
        this->setg(begin, begin, high_);
    }

    basic_membuf(basic_membuf&& other) noexcept
        : std::basic_streambuf<CharT, Traits>(other), mode_(other.mode_), owned_(std::move(other.owned_)),
          capacity_(other.capacity_), high_(other.high_)
    {
        other.setg(nullptr, nullptr, nullptr);
        other.setp(nullptr, nullptr);
        other.capacity_ = 0;
        other.high_ = nullptr;
    }
    basic_membuf& operator=(basic_membuf&&) = delete;

    // The whole content: everything ever written (the high-water mark, not only up
    // to the write position), or the viewed block.
    std::basic_string_view<CharT, Traits> data()
    {
        mark();
        return {base(), size()};
    }

    // Characters the block can hold before it grows.
    std::size_t capacity() const { return capacity_; }

protected:
    int_type overflow(int_type c) override
    {
        if (Traits::eq_int_type(c, Traits::eof()))
            return Traits::not_eof(c);
        if (!writable())
            return Traits::eof();
        mark();
        toEndWhenAppending();
        if (this->pptr() == this->epptr() && !grow(1))
            return Traits::eof();
        *this->pptr() = Traits::to_char_type(c);
        this->pbump(1);
        mark();
        return c;
    }

    std::streamsize xsputn(const CharT* s, std::streamsize n) override
    {
        if (!writable() || n <= 0)
            return 0;
        mark();
        toEndWhenAppending();
        std::size_t count = static_cast<std::size_t>(n);
        std::size_t room = static_cast<std::size_t>(this->epptr() - this->pptr());
        if (room < count && !grow(count))
            return 0;
        Traits::copy(this->pptr(), s, count);
        advancePut(count);
        mark();
        return n;
    }

    int_type underflow() override
    {
        if (!(mode_ & std::ios_base::in))
            return Traits::eof();
        mark();
        if (this->gptr() < high_) {
            this->setg(this->eback(), this->gptr(), high_);
            return Traits::to_int_type(*this->gptr());
        }
        return Traits::eof();
    }

    std::streamsize showmanyc() override
    {
        mark();
        return this->gptr() < high_ ? high_ - this->gptr() : -1;
    }

    pos_type seekoff(off_type off, std::ios_base::seekdir dir,
                     std::ios_base::openmode which = std::ios_base::in | std::ios_base::out) override
    {
        const pos_type invalid(off_type(-1));
        bool in = (which & std::ios_base::in) && (mode_ & std::ios_base::in);
        bool out = (which & std::ios_base::out) && writable();
        if (!in && !out)
            return invalid;
        if (in && out && dir == std::ios_base::cur)
            return invalid;
        mark();
        CharT* begin = base();
        off_type end = static_cast<off_type>(size());
        off_type origin = 0;
        if (dir == std::ios_base::cur)
            origin = in ? this->gptr() - begin : this->pptr() - begin;
        else if (dir == std::ios_base::end)
            origin = end;
        // Moving nowhere is always allowed, even in an empty buffer.
        if (off < -origin || off > end - origin)
            return invalid;
        off_type target = origin + off;
        if (in)
            this->setg(begin, begin + target, high_);
        if (out) {
            this->setp(begin, begin + capacity_);
            advancePut(static_cast<std::size_t>(target));
        }
        return pos_type(target);
    }

    pos_type seekpos(pos_type pos,
                     std::ios_base::openmode which = std::ios_base::in | std::ios_base::out) override
    {
        return seekoff(off_type(pos), std::ios_base::beg, which);
    }

private:
    // Views are constructed read-only; only owned blocks take writes.
    bool writable() const { return (mode_ & std::ios_base::out) != 0; }

    CharT* base() const { return owned_ ? owned_.get() : this->eback(); }

    std::size_t size() const { return high_ ? static_cast<std::size_t>(high_ - base()) : 0; }

    // Keeps the high-water mark of writing up to date.
    void mark()
    {
        if (this->pptr() > high_)
            high_ = this->pptr();
    }

    void toEndWhenAppending()
    {
        if ((mode_ & std::ios_base::app) && this->pptr() < high_)
            advancePut(static_cast<std::size_t>(high_ - this->pptr()));
    }

    // pbump takes an int; blocks may be larger.
    void advancePut(std::size_t count)
    {
        while (count > 0) {
            int step = static_cast<int>(std::min<std::size_t>(count, std::numeric_limits<int>::max()));
            this->pbump(step);
            count -= static_cast<std::size_t>(step);
        }
    }

    // The block's next size: 256 at first, +256 below 512, then half again, with the
    // increment halved while the new size would overflow.
    static std::size_t nextCapacity(std::size_t capacity)
    {
        const std::size_t limit = std::numeric_limits<std::size_t>::max() / sizeof(CharT);
        if (capacity == 0)
            return 256;
        std::size_t increment = capacity < 512 ? 256 : capacity / 2;
        while (increment > 0 && increment > limit - capacity)
            increment /= 2;
        return capacity + increment;
    }

    // Grows the owned block until `extra` more characters fit after the put position.
    bool grow(std::size_t extra)
    {
        mark();
        std::size_t used = static_cast<std::size_t>(this->pptr() - this->pbase());
        std::size_t capacity = capacity_;
        while (capacity - used < extra) {
            std::size_t next = nextCapacity(capacity);
            if (next == capacity)
                return false;
            capacity = next;
        }
        std::unique_ptr<CharT[]> block(new CharT[capacity]);
        std::size_t content = size();
        std::size_t getOffset = this->eback() ? static_cast<std::size_t>(this->gptr() - this->eback()) : 0;
        if (content > 0)
            Traits::copy(block.get(), base(), content);
        owned_ = std::move(block);
        capacity_ = capacity;
        CharT* begin = owned_.get();
        high_ = begin + content;
        if (mode_ & std::ios_base::in)
            this->setg(begin, begin + getOffset, high_);
        this->setp(begin, begin + capacity_);
        advancePut(used);
        return true;
    }

    std::ios_base::openmode mode_;
    std::unique_ptr<CharT[]> owned_;
    std::size_t capacity_ = 0;
    CharT* high_ = nullptr;
};

// A read/write stream over an owned, growable block.
template <typename CharT, typename Traits = std::char_traits<CharT>>
class basic_memstream : public std::basic_iostream<CharT, Traits> {
public:
    basic_memstream() : std::basic_iostream<CharT, Traits>(nullptr) { this->init(&buf_); }
    basic_memstream(basic_memstream&& other)
        : std::basic_iostream<CharT, Traits>(std::move(other)), buf_(std::move(other.buf_))
    {
        this->set_rdbuf(&buf_);
    }

    basic_membuf<CharT, Traits>* rdbuf() const { return const_cast<basic_membuf<CharT, Traits>*>(&buf_); }
    std::basic_string_view<CharT, Traits> data() { return buf_.data(); }

private:
    basic_membuf<CharT, Traits> buf_{std::ios_base::in | std::ios_base::out};
};

// A read-only stream over a caller's block, or over nothing.
template <typename CharT, typename Traits = std::char_traits<CharT>>
class basic_imemstream : public std::basic_istream<CharT, Traits> {
public:
    basic_imemstream() : basic_imemstream(nullptr, 0) {}
    basic_imemstream(const CharT* data, std::size_t size)
        : std::basic_istream<CharT, Traits>(nullptr), buf_(data, size)
    {
        this->init(&buf_);
    }
    basic_imemstream(basic_imemstream&& other)
        : std::basic_istream<CharT, Traits>(std::move(other)), buf_(std::move(other.buf_))
    {
        this->set_rdbuf(&buf_);
    }

    basic_membuf<CharT, Traits>* rdbuf() const { return const_cast<basic_membuf<CharT, Traits>*>(&buf_); }
    std::basic_string_view<CharT, Traits> data() { return buf_.data(); }

private:
    basic_membuf<CharT, Traits> buf_;
};

using membuf = basic_membuf<char>;
using memstream = basic_memstream<char>;
using imemstream = basic_imemstream<char>;
using wmembuf = basic_membuf<wchar_t>;
using wmemstream = basic_memstream<wchar_t>;
using wimemstream = basic_imemstream<wchar_t>;

} // namespace ar
