#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

// Reads a MIDI file's bytes from memory, front to back. Like a stream, it
// goes bad the first time a read finds no byte left; from then on every
// read fails, so a file cut short ends all further reading at once.
class ByteReader {
public:
    // Reads `bytes`, which must outlive the reader.
    explicit ByteReader(std::span<const unsigned char> bytes) : data_(bytes.data()), size_(bytes.size()) {}

    // Whether no read has run out of bytes yet.
    bool good() const { return good_; }
    // Bytes read so far.
    std::size_t position() const { return pos_; }
    // Bytes not read yet.
    std::size_t remaining() const { return size_ - pos_; }

    // True when no further byte can be read (and the reader is then bad).
    bool atEnd()
    {
        if (good_ && pos_ < size_)
            return false;
        good_ = false;
        return true;
    }

    // One byte (0..255), or false at the end.
    bool byte(int& value)
    {
        if (atEnd())
            return false;
        value = data_[pos_++];
        return true;
    }

    // The next `count` bytes in place when that many remain, else null
    // (nothing is read either way).
    const unsigned char* ahead(std::size_t count) const
    {
        return good_ && size_ - pos_ >= count ? data_ + pos_ : nullptr;
    }

    // Passes over `count` bytes that `ahead` showed.
    void advance(std::size_t count) { pos_ += count; }

    // Puts the byte just read back, to be read again.
    void stepBack()
    {
        if (pos_ > 0)
            --pos_;
    }

    // Copies `count` bytes; false (having copied what there was) when fewer remain.
    bool read(unsigned char* out, std::size_t count)
    {
        return take(count, out) == count;
    }

    // Passes over up to `count` bytes; returns how many there were.
    std::size_t skip(std::size_t count) { return take(count, nullptr); }

    // A big-endian 32-bit number.
    bool readBE32(std::uint32_t& value)
    {
        unsigned char b[4];
        if (!read(b, 4))
            return false;
        value = (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
        return true;
    }

private:
    const unsigned char* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    bool good_ = true;

    std::size_t take(std::size_t count, unsigned char* out)
    {
        if (!good_)
            return 0;
        const std::size_t left = size_ - pos_;
        const std::size_t n = count < left ? count : left;
        if (out != nullptr && n > 0)
            std::memcpy(out, data_ + pos_, n);
        pos_ += n;
        if (n < count)
            good_ = false;
        return n;
    }
};
