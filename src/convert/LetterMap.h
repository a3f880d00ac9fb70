#pragma once

#include <cstddef>
#include <string_view>

// How the letters of the written text stand in the played one: the same
// offset before the first difference, the same distance from the end after
// the last one, none in between (where the player edited the text).
class LetterMap {
public:
    // Compares the texts once; neither needs to outlive the map.
    LetterMap(std::string_view written, std::string_view played);

    // The offset in the played text of the written text's `letter`, or
    // false when the letter lies in the edited stretch (or past the end).
    bool map(std::size_t letter, std::size_t& played) const;

private:
    std::size_t writtenSize_;
    std::size_t playedSize_;
    std::size_t prefix_ = 0;
    std::size_t suffix_ = 0;
};
