#include "tune/TuneText.h"


#include <algorithm>
#include <charconv>
#include <cstring>

bool TuneText::putCopies(std::string_view piece, std::int64_t count)
{
    if (cut_)
        return false;
    if (piece.empty() || count <= 0)
        return true;
    const auto size = static_cast<std::int64_t>(piece.size());
    const std::int64_t room = std::max<std::int64_t>(0, maxText - static_cast<std::int64_t>(size_));
    const std::int64_t fit = room / size;
    const std::int64_t copies = std::min(count, fit);
    // As much of the last copy as fits when the cap falls inside it.
    const std::int64_t partial = count > fit ? room - fit * size : 0;
    ensure(size_ + static_cast<std::size_t>(copies * size + partial));
    char* at = reinterpret_cast<char*>(data_.get()) + size_;
    if (copies > 0) {
        // One copy, then the copies made so far doubled: long rests go in
        // a few large moves.
        const auto total = static_cast<std::size_t>(copies * size);
        std::memcpy(at, piece.data(), piece.size());
        for (std::size_t done = piece.size(); done < total;) {
            const std::size_t n = std::min(done, total - done);
            std::memcpy(at + done, at, n);
            done += n;
        }
        at += total;
        size_ += total;
    }
    if (count > fit) {
        std::memcpy(at, piece.data(), static_cast<std::size_t>(partial));
        size_ += static_cast<std::size_t>(partial);
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

void TuneText::ensure(std::size_t size)
{
    if (size <= capacity_)
        return;
    // Grown geometrically, up to the cap.
    const std::size_t grown = std::min(std::max({size, 2 * capacity_, std::size_t{64}}),
                                       static_cast<std::size_t>(maxText));
    // Not zeroed: only the characters written are ever read.
    std::unique_ptr<char8_t[]> bigger(new char8_t[grown]);
    if (size_ > 0)
        std::memcpy(bigger.get(), data_.get(), size_);
    data_ = std::move(bigger);
    capacity_ = grown;
}

void TuneText::reserve(std::size_t size)
{
    ensure(std::min(size, static_cast<std::size_t>(maxText)));
}

std::string TuneText::take()
{
    // A byte to spare: the report prints the tune with its line end put on.
    std::string text;
    text.reserve(size_ + 1);
    text.assign(str());
    data_.reset();
    size_ = 0;
    capacity_ = 0;
    return text;
}
