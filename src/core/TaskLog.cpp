#include "core/TaskLog.h"

#include <string_view>

void TaskLog::text(const ConsoleText& piece)
{
    put(Kind::Text, static_cast<int>(piece.level) | (piece.macro ? 0x100 : 0));
    words_.push_back(static_cast<std::int32_t>(texts_.size()));
    words_.push_back(static_cast<std::int32_t>(piece.text.size()));
    texts_.append(piece.text);
    added();
}

void TaskLog::numbers(Code code, int channel, const int* values, int count)
{
    // Most channels (and none, -1) fit in the entry's first word.
    if (channel >= -1 && channel < 255) {
        put(Kind::NumbersOfChannel, static_cast<int>(code) | (count << 8) | ((channel + 1) << 11));
    } else {
        put(Kind::Numbers, static_cast<int>(code) | (count << 8));
        words_.push_back(channel);
    }
    words_.insert(words_.end(), values, values + count);
    added();
}

void TaskLog::diagnostic(const Diagnostic& diagnostic)
{
    put(Kind::Kept, static_cast<int>(kept_.size()));
    kept_.push_back(diagnostic);
    added();
}

void TaskLog::giveTo(Message& main)
{
    const MessageScope scope(main);
    for (std::size_t at = 0; at < words_.size();) {
        const auto kind = static_cast<Kind>(words_[at] & 0xFF);
        const int detail = words_[at] >> 8;
        if (kind == Kind::Text) {
            const auto from = static_cast<std::size_t>(words_[at + 1]);
            const auto size = static_cast<std::size_t>(words_[at + 2]);
            main.pass(ConsoleText{static_cast<Level>(detail & 0xFF), (detail & 0x100) != 0,
                                  std::string_view(texts_).substr(from, size)});
            at += 3;
        } else if (kind == Kind::NumbersOfChannel) {
            const int count = (detail >> 8) & 7;
            if (count == 0) {
                // A run of the same report without values: one word each.
                std::size_t end = at + 1;
                while (end < words_.size() && words_[end] == words_[at])
                    ++end;
                main.giveRepeated(static_cast<Code>(detail & 0xFF), (detail >> 11) - 1, end - at);
                at = end;
                continue;
            }
            main.giveNumbers(static_cast<Code>(detail & 0xFF), (detail >> 11) - 1, &words_[at + 1], count);
            at += 1 + static_cast<std::size_t>(count);
        } else if (kind == Kind::Numbers) {
            const int count = detail >> 8;
            main.giveNumbers(static_cast<Code>(detail & 0xFF), words_[at + 1], &words_[at + 2], count);
            at += 2 + static_cast<std::size_t>(count);
        } else {
            main.count(kept_[static_cast<std::size_t>(detail)]);
            at += 1;
        }
    }
    words_.clear();
    texts_.clear();
    kept_.clear();
    entries_ = 0;
}

void TaskLog::added()
{
    if (++entries_ % growStep == 0 && grown)
        grown(entries_);
}
