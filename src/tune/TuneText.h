#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The text of one tune as it is written, capped at `maxText` characters:
// what would pass the cap is dropped, and the text counts as cut, which
// also turns every later write into a no-op. Huge delta times would
// otherwise turn a tiny file into gigabytes of rests.
class TuneText {
public:
    // Longest tune text of one channel (10,000 full macro pieces).
    static constexpr std::int64_t maxText = 4950000;

    // Appends `count` copies of `piece`, as many as fit; false once cut.
    bool put(std::string_view piece, std::int64_t count = 1)
    {
        // A single token well within the cap: most of the text comes this way.
        if (count == 1 && !cut_ && text_.size() + piece.size() <= maxText) {
            text_.append(piece);
            return true;
        }
        return putCopies(piece, count);
    }
    // Appends one character; false once cut.
    bool put(char c)
    {
        if (!cut_ && text_.size() < maxText) {
            text_.push_back(c);
            return true;
        }
        return putCopies(std::string_view(&c, 1), 1);
    }
    // Appends a number in decimal; false once cut.
    bool put(int number)
    {
        // Lengths and volumes: one or two digits.
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
    const std::string& str() const { return text_; }
    // Hands the text over, leaving this empty.
    std::string take() { return std::move(text_); }

private:
    std::string text_;

    bool putCopies(std::string_view piece, std::int64_t count);
    bool putNumber(int number);
    bool cut_ = false;
};
