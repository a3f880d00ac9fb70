#include "midi/ChunkReader.h"

#include <algorithm>
#include <array>

namespace {

// Largest piece of a text or skip handled at once, so that a declared length
// is never allocated up front.
constexpr std::size_t blockSize = 4096;

} // namespace

// Passes over `count` bytes, or as many as the input still holds;
// true when all of them were there.
bool ChunkReader::skip(std::uint32_t count)
{
    const std::size_t skipped = in_.skip(count);
    consumed += static_cast<std::uint32_t>(skipped);
    return skipped == count;
}

// Reads `count` bytes of text, in blocks, keeping what stands before the
// first zero byte; true when all of them were there. A declared length
// is never allocated up front.
bool ChunkReader::text(std::uint32_t count, std::string& out)
{
    out.clear();
    bool zeroSeen = false;
    std::array<unsigned char, blockSize> block;
    std::uint64_t left = count;
    while (left > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(left, blockSize));
        const std::size_t got = in_.good() ? std::min(want, takeInto(block.data(), want)) : 0;
        consumed += static_cast<std::uint32_t>(got);
        if (!zeroSeen) {
            const auto* begin = block.data();
            const auto* end = std::find(begin, begin + got, '\0');
            out.append(begin, end);
            zeroSeen = end != begin + got;
        }
        if (got != want)
            return false;
        left -= got;
    }
    return true;
}

// Copies up to `want` bytes; returns how many there were.
std::size_t ChunkReader::takeInto(unsigned char* out, std::size_t want)
{
    const std::size_t before = in_.position();
    in_.read(out, want);
    return in_.position() - before;
}
