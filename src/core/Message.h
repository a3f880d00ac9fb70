#pragma once

#include "core/Diagnostic.h"

#include <cstdarg>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>

// Console diagnostics. Every line the converter prints is made from a code
// and its values (report, tell), or is a long text passed whole (MsgText),
// through the Message record installed for the current run, which filters
// by its verbosity level and hands whole lines to the run's sink. The
// problems are also kept as values (Diagnostics) that callers read by code.

// One piece of the console stream as it reaches a sink: a diagnostic line
// with its line end and the level of the message that began it, or, when
// `macro` is set, macro text that the run writes to standard output ("-").
struct ConsoleText {
    Level level;           // the level of the message that began the line
    bool macro;            // macro text rather than a diagnostic line
    std::string_view text; // the bytes, valid during the call only
};

// Receives the console stream of a run, piece by piece, in order.
using ConsoleSink = std::function<void(const ConsoleText&)>;

// A console line kept for later (the switch parser's confirmations).
struct ConsoleLine {
    Level level;      // the level it was printed at
    std::string text; // the line with its line end
};

// The diagnostics of one run: the verbosity filter and the sink its lines
// go to. Text is gathered until its line ends, so that a line built from
// several pieces reaches the sink whole.
class Message {
public:
    // The level a run starts at.
    static constexpr Level msgLevelDefault = Level::Output;

    // A record that writes to `sink`, filtering at `level`.
    explicit Message(ConsoleSink sink, Level level = msgLevelDefault);
    // Hands a pending partial line to the sink.
    ~Message();
    // One record per run: not copied.
    Message(const Message&) = delete;
    Message& operator=(const Message&) = delete;

    // The current verbosity; messages above it are not shown.
    Level msgLevel;
    // What the run reported, whether shown or not.
    Diagnostics diagnostics;

    // Whether a message of `level` is shown now (never for a level outside 0..9).
    bool shown(Level level) const;
    // Continues the current line with `text`.
    void append(Level level, std::string_view text);
    // Prints the line of `code` made from the values `args` of its format
    // when shown; a problem is also counted, and its first few occurrences
    // kept as diagnostics.
    void report(Code code, int channel, va_list args);
    // Passes macro text through, after any pending partial line.
    void macro(std::string_view text);
    // Hands a pending partial line to the sink now.
    void flush();

private:
    ConsoleSink sink_;
    std::string line_;
    Level lineLevel_ = Level::Fatal;

    void emitComplete();
    void emit(const ConsoleText& piece);
};

// Makes `message` the record that lines go to until the scope ends; the record in place before comes back then.
class MessageScope {
public:
    // Installs `message`.
    explicit MessageScope(Message& message);
    // Puts the previous record back.
    ~MessageScope();
    // A scope is bound to its place on the stack.
    MessageScope(const MessageScope&) = delete;
    MessageScope& operator=(const MessageScope&) = delete;

private:
    Message* previous_;
};

// The record installed, or null: without one, messages go
// straight to standard output at the default level.
Message* currentMessage();

// Whether a line of `level` is printed now.
bool shown(Level level);

// Whether the line of `code` is printed now.
inline bool shown(Code code)
{
    return shown(codeInfo(code).level);
}

// Continues the current line with `text` as it stands (no formatting), when
// `level` is shown: for long texts such as a whole tune.
void MsgText(Level level, std::string_view text);

// Reports `code` through the installed record: `args` are the values its
// format takes, in order (ints, C strings and doubles); a problem's ints
// are kept as the diagnostic's arguments. `channel` is the channel it
// concerns (1..16), or noChannel.
template <typename... Args>
void report(Code code, int channel, Args... args);

// Prints the line of the informational code `code` from `args`, the values
// its format takes.
template <typename... Args>
void tell(Code code, Args... args)
{
    report(code, noChannel, args...);
}

// Hands the pending partial line of the installed record to its sink.
void flushMessages();

namespace detail {

// Counts, keeps and prints the code numbered `code`; the variable arguments
// are its format's.
void report(int code, int channel, ...);

} // namespace detail

template <typename... Args>
void report(Code code, int channel, Args... args)
{
    // What a format reads: an int (a narrower integer is widened to one), a
    // double or a text.
    static_assert((((std::is_integral_v<Args> && sizeof(Args) <= sizeof(int)) || std::is_same_v<Args, double> ||
                    std::is_same_v<Args, const char*>) &&
                   ...),
                  "a code's values are ints, doubles and texts");
    detail::report(static_cast<int>(code), channel, args...);
}
