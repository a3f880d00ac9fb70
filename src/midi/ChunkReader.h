#pragma once

#include "midi/ByteReader.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// The body of one track chunk, read byte by byte with the count of the
// body bytes consumed so far.
class ChunkReader {
public:
    // Reads the chunk body from `in`'s position.
    explicit ChunkReader(ByteReader& in) : in_(in) {}

    // Body bytes read so far.
    std::uint32_t consumed = 0;

    // True when no further byte can be read.
    bool atEnd() { return in_.atEnd(); }
    // One byte (0..255), or false at the end of input.
    bool byte(int& value)
    {
        if (!in_.byte(value))
            return false;
        ++consumed;
        return true;
    }
    // Puts the byte just read back, to be read again.
    void stepBack()
    {
        in_.stepBack();
        --consumed;
    }
    // The input's position (bytes of the whole input read so far).
    std::size_t position() const { return in_.position(); }
    // The bytes not read yet, in place; none once the input is bad.
    std::span<const unsigned char> rest() const
    {
        const unsigned char* next = in_.ahead(0);
        return next == nullptr ? std::span<const unsigned char>{} : std::span(next, in_.remaining());
    }
    // Passes over `count` bytes that `rest` showed (the count of bytes
    // consumed wraps as it does byte by byte).
    void advance(std::size_t count)
    {
        in_.advance(count);
        consumed += static_cast<std::uint32_t>(count);
    }
    // Variable-length quantity, accumulated modulo 2^32.
    bool vlq(std::uint32_t& value)
    {
        value = 0;
        int b = 0;
        do {
            if (!byte(b))
                return false;
            value = (value << 7) | static_cast<std::uint32_t>(b & 0x7F);
        } while ((b & 0x80) != 0);
        return true;
    }
    // Passes over `count` bytes, or as many as the input still holds; true
    // when all of them were there.
    bool skip(std::uint32_t count);
    // Reads `count` bytes of text, keeping what stands before the first zero
    // byte; true when all of them were there.
    bool text(std::uint32_t count, std::string& out);

private:
    ByteReader& in_;

    std::size_t takeInto(unsigned char* out, std::size_t want);
};
