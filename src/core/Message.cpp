#include "core/Message.h"

#include "core/ConsoleFormat.h"

#include <cstdio>
#include <utility>

namespace {

// The record of the run in progress. It lives only as long as the run's
// scope: nothing of one run is left for the next.
Message* current = nullptr;

bool inRange(Level level)
{
    const int value = static_cast<int>(level);
    return value >= 0 && value < static_cast<int>(levelCount);
}

// Appends the label of `level`, padded with blanks to labelWidth.
void appendLabel(std::string& out, Level level)
{
    const std::string_view label = levelTable[static_cast<int>(level)].label;
    out.append(label);
    out.append(labelWidth - label.size(), ' ');
}

// Hands `use` the installed record; without one, a record of its own that
// writes straight to standard output at the default level.
template <typename Use>
void withRecord(Use use)
{
    if (current != nullptr) {
        use(*current);
        return;
    }
    Message direct([](const ConsoleText& piece) { std::fwrite(piece.text.data(), 1, piece.text.size(), stdout); });
    use(direct);
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

void Message::append(Level level, std::string_view text)
{
    if (line_.empty())
        lineLevel_ = level;
    line_.append(text);
    emitComplete();
}

void Message::report(Code code, int channel, va_list args)
{
    // A warning repeated a million times costs a count and, when shown,
    // its line: only the first few are kept as values.
    const CodeInfo& info = codeInfo(code);
    const bool keep = isProblem(code) && diagnostics.tally(code);
    const bool show = shown(info.level);
    if (!keep && !show)
        return;
    // The line is made once: into the pending text when shown (after the
    // line it ends, or in the line it continues), else for the diagnostic.
    std::string unshown;
    std::string& out = show ? line_ : unshown;
    if (show && !info.continuesLine)
        flush();
    if (show && line_.empty())
        lineLevel_ = info.level;
    const std::size_t start = out.size();
    if (!info.continuesLine)
        appendLabel(out, info.level);
    va_list values;
    va_copy(values, args);
    appendFormatted(out, info.format, values);
    va_end(values);
    if (keep) {
        Diagnostic diagnostic;
        diagnostic.code = code;
        diagnostic.level = info.level;
        diagnostic.channel = channel;
        va_copy(values, args);
        takeIntegers(diagnostic, info.format, values);
        va_end(values);
        const std::string_view line = std::string_view(out).substr(start);
        diagnostic.text = line.substr(0, line.find('\n'));
        diagnostics.keep(std::move(diagnostic));
    }
    if (show)
        emitComplete();
}

void Message::emitComplete()
{
    // Every complete line goes out; a partial one waits for its end.
    const std::string_view text = line_;
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string_view::npos; end = text.find('\n', start)) {
        emit(ConsoleText{lineLevel_, false, text.substr(start, end + 1 - start)});
        start = end + 1;
    }
    line_.erase(0, start);
}

void Message::macro(std::string_view text)
{
    flush();
    if (!text.empty())
        emit(ConsoleText{Level::Output, true, text});
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

void MsgText(Level level, std::string_view text)
{
    if (shown(level))
        withRecord([&](Message& record) { record.append(level, text); });
}

namespace detail {

void report(int number, int channel, ...)
{
    va_list args;
    va_start(args, channel);
    withRecord([&](Message& record) { record.report(static_cast<Code>(number), channel, args); });
    va_end(args);
}

} // namespace detail

void flushMessages()
{
    if (current != nullptr)
        current->flush();
}
