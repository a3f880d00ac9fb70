// Matches the letters of a written tune text with those of the text the
// player pasted back, around the one stretch that differs.
#include "convert/LetterMap.h"

#include <algorithm>

LetterMap::LetterMap(std::string_view written, std::string_view played)
    : writtenSize_(written.size()), playedSize_(played.size())
{
    const std::size_t shorter = std::min(writtenSize_, playedSize_);
    while (prefix_ < shorter && written[prefix_] == played[prefix_])
        ++prefix_;
    while (suffix_ < shorter - prefix_ && written[writtenSize_ - 1 - suffix_] == played[playedSize_ - 1 - suffix_])
        ++suffix_;
}

bool LetterMap::map(std::size_t letter, std::size_t& played) const
{
    if (letter < prefix_) {
        played = letter;
        return true;
    }
    if (letter < writtenSize_ && letter >= writtenSize_ - suffix_) {
        played = letter - writtenSize_ + playedSize_;
        return true;
    }
    return false;
}
