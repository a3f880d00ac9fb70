#include "tune/TuneText.h"

#include "core/LargeMemory.h"

#include <algorithm>
#include <charconv>

bool TuneText::putCopies(std::string_view piece, std::int64_t count)
{
    if (cut_)
        return false;
    if (piece.empty() || count <= 0)
        return true;
    const auto size = static_cast<std::int64_t>(piece.size());
    const std::int64_t room = std::max<std::int64_t>(0, maxText - static_cast<std::int64_t>(text_.size()));
    const std::int64_t fit = room / size;
    const std::int64_t copies = std::min(count, fit);
    if (size == 1) {
        text_.append(static_cast<std::size_t>(copies), piece[0]); // most tokens are one character
    } else if (copies == 1) {
        text_.append(piece);
    } else if (copies > 1) {
        // Grow geometrically: libc++ takes a reserve as given, so reserving
        // just the new size would copy the whole text at every call.
        const std::size_t needed = text_.size() + static_cast<std::size_t>(copies * size);
        if (needed > text_.capacity())
            text_.reserve(std::max(needed, 2 * text_.capacity()));
        // Long runs (rests) go in blocks rather than token by token.
        const std::int64_t perBlock = std::min<std::int64_t>(copies, 4096);
        std::string block;
        block.reserve(static_cast<std::size_t>(perBlock * size));
        for (std::int64_t i = 0; i < perBlock; ++i)
            block.append(piece);
        for (std::int64_t left = copies; left > 0; left -= perBlock)
            text_.append(block, 0, static_cast<std::size_t>(std::min(left, perBlock) * size));
    }
    if (count > fit) {
        // The cap falls inside this piece: as much of it as fits, then stop.
        text_.append(piece.substr(0, static_cast<std::size_t>(room - fit * size)));
        cut_ = true;
        return false;
    }
    return true;
}

bool TuneText::putNumber(int number)
{
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    return put(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

void TuneText::reserve(std::size_t size)
{
    text_.reserve(std::min(size, static_cast<std::size_t>(maxText)));
    preferHugePages(text_.data(), text_.capacity());
}
