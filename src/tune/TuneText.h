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
    bool put(std::string_view piece, std::int64_t count = 1);
    // Appends a number in decimal; false once cut.
    bool put(int number);
    // Whether the cap was reached and text dropped.
    bool cut() const { return cut_; }
    // The text so far.
    const std::string& str() const { return text_; }
    // Hands the text over, leaving this empty.
    std::string take() { return std::move(text_); }

private:
    std::string text_;
    bool cut_ = false;
};
