#include "core/Message.h"

#include "core/ConsoleFormat.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

const char* const Message::msgString[10] = {
    "FATAL:", "ERROR:", "FORMAT:", "WARN:", "Output:",
    "Info:",  "Notice:", "Debug:", "Ignore:", "All:",
};

namespace {

// The record of the run in progress on this thread. It lives only as long
// as the run's scope: nothing of one run is left for the next.
thread_local Message* current = nullptr;

bool inRange(Level level)
{
    const int value = static_cast<int>(level);
    return value >= 0 && value <= 9;
}

// Without a record, text goes straight to standard output.
void printDirect(const char* label, const char* fmt, va_list args)
{
    std::string text;
    if (label != nullptr)
        text = label;
    appendFormatted(text, fmt, args);
    std::fwrite(text.data(), 1, text.size(), stdout);
}

} // namespace

Message::Message(ConsoleSink sink, Level level) : msgLevel(level), sink_(std::move(sink)) {}

Message::~Message()
{
    flush();
}

bool Message::shown(Level level) const
{
    return inRange(level) && static_cast<int>(msgLevel) >= static_cast<int>(level);
}


void Message::emitComplete()
{
    // Every complete line goes out; a partial one waits for its end.
    const std::string_view text = line_;
    std::size_t end = text.find('\n');
    if (end == std::string_view::npos)
        return;
    if (end + 1 == text.size()) {
        // The usual case: one whole line.
        emit(ConsoleText{lineLevel_, false, text});
        line_.clear();
    } else {
        std::size_t start = 0;
        for (; end != std::string_view::npos; end = text.find('\n', start)) {
            emit(ConsoleText{lineLevel_, false, text.substr(start, end + 1 - start)});
            start = end + 1;
        }
        line_.erase(0, start);
    }
    // A whole tune may have passed through: give its room back.
    if (line_.empty() && line_.capacity() > 65536)
        std::string().swap(line_);
}

const FormatInfo& Message::describe(Level level, const char* fmt)
{
    const std::uintptr_t slot = (reinterpret_cast<std::uintptr_t>(fmt) >> 3) + static_cast<std::uintptr_t>(level);
    FormatInfo& info = formats_[slot % formats_.size()];
    // Formats are literals in this program; a caller's buffer that holds
    // another text by now is described again.
    if (info.fmt == fmt && info.level == level && std::strcmp(fmt, info.text.c_str()) == 0)
        return info;
    describeFormat(info, level, fmt);
    return info;
}

void Message::putNumbers(const FormatInfo& info, const int* values)
{
    // The label, the text and the numbers, made in place and handed over
    // as one whole line.
    char text[labelWidth + quickLength + quickConversions * 11];
    std::memcpy(text, paddedLabel(info.level), labelWidth);
    char* at = text + labelWidth;
    std::size_t from = 0;
    for (std::size_t k = 0; k < info.conversions.size(); ++k) {
        const std::uint16_t conversion = info.conversions[k];
        std::memcpy(at, info.fmt + from, conversion - from);
        at += conversion - from;
        at = std::to_chars(at, at + 11, values[k]).ptr;
        from = conversion + std::size_t{2};
    }
    std::memcpy(at, info.fmt + from, info.length - from);
    at += info.length - from;
    emit(ConsoleText{info.level, false, std::string_view(text, static_cast<std::size_t>(at - text))});
}

void Message::begin(Level level, const char* fmt, va_list args)
{
    beginWith(describe(level, fmt), args);
}

void Message::beginWith(const FormatInfo& info, va_list args)
{
    flush();
    const Level level = info.level;
    lineLevel_ = level;
    const char* const fmt = info.fmt;
    if (info.plain && info.oneLine) {
        // A whole line of plain text: printed as made the first time.
        emit(ConsoleText{level, false, info.line});
        return;
    }
    if (info.quickNumbers) {
        std::array<int, quickConversions> values{};
        va_list copy;
        va_copy(copy, args);
        for (std::size_t k = 0; k < info.conversions.size(); ++k)
            values[k] = va_arg(copy, int);
        va_end(copy);
        putNumbers(info, values.data());
        return;
    }
    line_.append(paddedLabel(level), labelWidth);
    if (info.plain)
        line_.append(fmt, info.length);
    else
        appendFormatted(line_, fmt, args);
    // A line of plain text and numbers that ends the format is whole.
    if (info.oneLine && info.numbers)
        flush();
    else
        emitComplete();
}

void Message::append(Level level, const char* fmt, va_list args)
{
    if (line_.empty())
        lineLevel_ = level;
    appendFormatted(line_, fmt, args);
    emitComplete();
}

void Message::appendText(Level level, std::string_view text)
{
    // A whole line of its own goes out as it is: a tune's line runs to
    // megabytes.
    if (line_.empty() && !text.empty() && text.find('\n') == text.size() - 1) {
        emit(ConsoleText{level, false, text});
        return;
    }
    if (line_.empty())
        lineLevel_ = level;
    line_.append(text);
    emitComplete();
}

Diagnostic Message::diagnosticOf(Code code, int channel, va_list args) const
{
    const CodeInfo& info = codeInfo(code);
    Diagnostic diagnostic;
    diagnostic.code = code;
    diagnostic.level = info.level;
    diagnostic.channel = channel;
    va_list values;
    va_copy(values, args);
    takeIntegers(diagnostic, info.format, values);
    va_end(values);
    if (!info.continuesLine)
        diagnostic.text.assign(paddedLabel(info.level), labelWidth);
    appendFormatted(diagnostic.text, info.format, args);
    const std::size_t end = diagnostic.text.find('\n');
    if (end != std::string::npos)
        diagnostic.text.resize(end);
    return diagnostic;
}

void Message::keep(Code code, int channel, va_list args)
{
    diagnostics.keep(diagnosticOf(code, channel, args));
}

const FormatInfo& Message::codeFormat(Code code)
{
    FormatInfo& format = codeFormats_[static_cast<std::size_t>(code)];
    if (format.fmt == nullptr) {
        const CodeInfo& info = codeInfo(code);
        describeFormat(format, info.level, info.format);
    }
    return format;
}

void Message::print(Code code, va_list args)
{
    const CodeInfo& info = codeInfo(code);
    if (info.continuesLine) {
        append(info.level, info.format, args);
        return;
    }
    beginWith(codeFormat(code), args);
}

void Message::defer(Code code, int channel, va_list args)
{
    // What the record printed before comes first.
    flush();
    const FormatInfo& format = codeFormat(code);
    if (format.numbers && format.count <= ReportLog::maxNumbers) {
        int values[ReportLog::maxNumbers] = {};
        va_list copy;
        va_copy(copy, args);
        for (int k = 0; k < format.count; ++k)
            values[k] = va_arg(copy, int);
        va_end(copy);
        log_->numbers(code, channel, values, format.count);
        return;
    }
    va_list copy;
    va_copy(copy, args);
    log_->diagnostic(diagnosticOf(code, channel, copy));
    va_end(copy);
    if (static_cast<int>(msgLevel) >= static_cast<int>(codeInfo(code).level))
        print(code, args);
}

bool Message::deferNumbers(Code code, int channel, const int* values, int count)
{
    const FormatInfo& format = codeFormat(code);
    if (!format.numbers || format.count > count)
        return false;
    // What the record printed before comes first.
    flush();
    log_->numbers(code, channel, values, format.count);
    return true;
}

void Message::count(const Diagnostic& diagnostic)
{
    if (diagnostics.tally(diagnostic.code))
        diagnostics.keep(diagnostic);
}

void Message::giveNumbers(Code code, int channel, const int* values, int count)
{
    if (defers()) {
        log_->numbers(code, channel, values, count);
        return;
    }
    const CodeInfo& info = codeInfo(code);
    const FormatInfo& format = codeFormat(code);
    const bool plainLine = format.plain && format.oneLine;
    if (diagnostics.keepsNext(code) || info.continuesLine || !(plainLine || format.quickNumbers) ||
        format.conversions.size() > static_cast<std::size_t>(count)) {
        // The first few of a code keep their values; the rest is report's way.
        static_assert(ReportLog::maxNumbers == 4, "the call below passes four values");
        int v[ReportLog::maxNumbers] = {};
        for (int k = 0; k < count && k < ReportLog::maxNumbers; ++k)
            v[k] = values[k];
        const MessageScope scope(*this);
        detail::report(static_cast<int>(code), channel, v[0], v[1], v[2], v[3]);
        return;
    }
    diagnostics.tally(code);
    if (static_cast<int>(msgLevel) < static_cast<int>(info.level))
        return;
    flush();
    if (plainLine)
        emit(ConsoleText{info.level, false, format.line});
    else
        putNumbers(format, values);
}

void Message::giveRepeated(Code code, int channel, std::size_t times)
{
    // A warning without values comes in runs of thousands: past the first
    // few of its code, which keep their values, a plain line is counted
    // once and printed as often. Anything else goes one by one.
    const CodeInfo& info = codeInfo(code);
    const FormatInfo& format = codeFormat(code);
    const bool plainLine = format.plain && format.oneLine && !info.continuesLine && format.conversions.empty();
    for (; times > 0 && (defers() || !plainLine || diagnostics.keepsNext(code)); --times)
        giveNumbers(code, channel, nullptr, 0);
    for (; times > 0; times -= std::min<std::size_t>(times, UINT32_MAX)) {
        diagnostics.tallyUnkept(code, static_cast<std::uint32_t>(std::min<std::size_t>(times, UINT32_MAX)));
        if (static_cast<int>(msgLevel) < static_cast<int>(info.level))
            continue;
        flush();
        const ConsoleText line{info.level, false, format.line};
        for (std::size_t k = std::min<std::size_t>(times, UINT32_MAX); k > 0; --k)
            emit(line);
    }
}

void Message::macro(std::string_view text)
{
    flush();
    if (!text.empty())
        emit(ConsoleText{Level::Output, true, text});
}

void Message::pass(const ConsoleText& piece)
{
    flush();
    if (!piece.text.empty())
        emit(piece);
}

void Message::emit(const ConsoleText& piece)
{
    if (sink_)
        sink_(piece);
}

void Message::flush()
{
    if (line_.empty())
        return;
    emit(ConsoleText{lineLevel_, false, line_});
    line_.clear();
}

MessageScope::MessageScope(Message& message) : previous_(current)
{
    current = &message;
}

MessageScope::~MessageScope()
{
    current = previous_;
}

Message* currentMessage()
{
    return current;
}

bool shown(Level level)
{
    if (current != nullptr)
        return current->shown(level);
    return inRange(level) && static_cast<int>(Message::msgLevelDefault) >= static_cast<int>(level);
}

void Msg(Level level, const char* fmt, ...)
{
    if (!shown(level))
        return;
    va_list args;
    va_start(args, fmt);
    if (current != nullptr)
        current->begin(level, fmt, args);
    else
        printDirect(paddedLabel(level), fmt, args);
    va_end(args);
}

void MsgContinue(Level level, const char* fmt, ...)
{
    if (!shown(level))
        return;
    va_list args;
    va_start(args, fmt);
    if (current != nullptr)
        current->append(level, fmt, args);
    else
        printDirect(nullptr, fmt, args);
    va_end(args);
}

void MsgText(Level level, std::string_view text)
{
    if (!shown(level))
        return;
    if (current != nullptr)
        current->appendText(level, text);
    else
        std::fwrite(text.data(), 1, text.size(), stdout);
}

namespace detail {

bool deferNumbers(Code code, int channel, const int* values, int count)
{
    return current != nullptr && current->defers() && current->deferNumbers(code, channel, values, count);
}

void report(int number, int channel, ...)
{
    const Code code = static_cast<Code>(number);
    const CodeInfo& info = codeInfo(code);
    va_list args;
    va_start(args, channel);
    if (current == nullptr) {
        if (shown(info.level))
            printDirect(info.continuesLine ? nullptr : paddedLabel(info.level), info.format, args);
    } else if (current->defers()) {
        current->defer(code, channel, args);
    } else {
        // A warning repeated a million times costs a count and, when shown,
        // its line: only the first few are kept as values.
        if (current->diagnostics.tally(code)) {
            va_list copy;
            va_copy(copy, args);
            current->keep(code, channel, copy);
            va_end(copy);
        }
        if (static_cast<int>(current->msgLevel) >= static_cast<int>(info.level))
            current->print(code, args);
    }
    va_end(args);
}

} // namespace detail

void flushMessages()
{
    if (current != nullptr)
        current->flush();
}
