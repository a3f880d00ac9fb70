#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// The text of one tune as it is written, capped at `maxText` characters:
// what would pass the cap is dropped, and the text counts as cut, which
// also turns every later write into a no-op. Huge delta times would
// otherwise turn a tiny file into gigabytes of rests.
//
// The text lives in a buffer of its own: most tokens are one to three
// characters, written a million times for a large file, and go in with a
// few stores rather than a string's append. The buffer holds char8_t, which
// unlike char cannot alias other objects: a store into it does not make the
// compiler reload the writer's state (and this text's own fields) after it.
class TuneText {
public:
    // Longest tune text of one channel (10,000 full macro pieces).
    static constexpr std::int64_t maxText = 4950000;

    // Appends `count` copies of `piece`, as many as fit; false once cut.
    bool put(std::string_view piece, std::int64_t count = 1)
    {
        // A short token with room for it: most of the text comes this way.
        // (The room never passes the cap, and nothing fits once cut.)
        if (count == 1 && piece.size() <= shortToken && size_ + piece.size() <= capacity_ && !cut_) {
            char8_t* at = data_.get() + size_;
            for (const char c : piece)
                *at++ = static_cast<char8_t>(c);
            size_ += piece.size();
            return true;
        }
        return putCopies(piece, count);
    }
    // Appends a token of one or two characters, `size` of the two given
    // (a note name); false once cut.
    bool putShort(const char (&two)[2], std::size_t size)
    {
        // Both characters are stored where there is room for both; only
        // `size` of them count.
        if (size_ + 2 <= capacity_ && !cut_) {
            data_[size_] = static_cast<char8_t>(two[0]);
            data_[size_ + 1] = static_cast<char8_t>(two[1]);
            size_ += size;
            return true;
        }
        return putCopies(std::string_view(two, size), 1);
    }
    // Appends one character; false once cut.
    bool put(char c)
    {
        if (size_ < capacity_ && !cut_) {
            data_[size_++] = static_cast<char8_t>(c);
            return true;
        }
        return putCopies(std::string_view(&c, 1), 1);
    }
    // Appends a number in decimal; false once cut.
    bool put(int number)
    {
        // Lengths and volumes: mostly one digit.
        if (number >= 0 && number < 10)
            return put(static_cast<char>('0' + number));
        return putNumber(number);
    }
    // Room for `size` characters (never more than the cap), so that a
    // long tune is not copied as it grows.
    void reserve(std::size_t size);
    // Whether the cap was reached and text dropped.
    bool cut() const { return cut_; }
    // The text so far.
    std::string_view str() const { return std::string_view(reinterpret_cast<const char*>(data_.get()), size_); }
    // Hands the text over, leaving this empty.
    std::string take();

private:
    static constexpr std::size_t shortToken = 8;
    std::unique_ptr<char8_t[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0; // never above maxText
    bool cut_ = false;

    bool putCopies(std::string_view piece, std::int64_t count);
    bool putNumber(int number);
    // Makes room for `size` characters in all (at most maxText).
    void ensure(std::size_t size);
};
