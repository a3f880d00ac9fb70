#pragma once

#include "core/ConsoleFormat.h"
#include "core/Diagnostic.h"

#include <array>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

// Console diagnostics. Every line the converter prints goes through Msg,
// MsgContinue or report to the Message record installed for the current
// run, which filters by its verbosity level and hands whole lines to the
// run's sink. What report tells is also kept as values (Diagnostics): the
// problems callers read by code.

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

// Takes the reports of a record that defers them (see Message::deferTo),
// in order with the record's lines, to be made again later through another
// record: a report whose values are all numbers as its code and values,
// any other as the diagnostic it gives (its line, when shown, follows as
// text).
class ReportLog {
public:
    // The most values a report passed on as numbers has.
    static constexpr int maxNumbers = 4;

    virtual ~ReportLog() = default;
    // A report of `code` with `count` numbers.
    virtual void numbers(Code code, int channel, const int* values, int count) = 0;
    // A report with other values: what it keeps.
    virtual void diagnostic(const Diagnostic& diagnostic) = 0;
};


// The diagnostics of one run: the verbosity filter and the sink its lines
// go to. Text is gathered until its line ends, so that a line built from
// several pieces reaches the sink whole.
class Message {
public:
    // The level a run starts at.
    static constexpr Level msgLevelDefault = Level::Output;
    // The labels of the levels, "FATAL:" to "All:".
    static const char* const msgString[10];

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
    // Starts a line at `level` with its padded label, then the formatted text.
    void begin(Level level, const char* fmt, va_list args);
    // Continues the current line with the formatted text.
    void append(Level level, const char* fmt, va_list args);
    // Continues the current line with `text` as it stands.
    void appendText(Level level, std::string_view text);
    // Keeps an occurrence of `code` (counted already) with its values and
    // its line made from `args`, the values of the code's format.
    void keep(Code code, int channel, va_list args);
    // Prints the line of `code` made from `args`.
    void print(Code code, va_list args);
    // Passes macro text through, after any pending partial line.
    void macro(std::string_view text);
    // Passes a piece of console text made by another record through, after
    // any pending partial line.
    void pass(const ConsoleText& piece);
    // From now on hands reports to `log` (null: none) instead of counting
    // and printing them, after any pending partial line.
    void deferTo(ReportLog* log) { log_ = log; }
    // Whether reports go to a log.
    bool defers() const { return log_ != nullptr; }
    // Hands a report to the log.
    void defer(Code code, int channel, va_list args);
    // Hands a report of `count` numbers `values` to the log, where its
    // format takes numbers only; false (nothing done) where it does not.
    bool deferNumbers(Code code, int channel, const int* values, int count);
    // Counts, and keeps if it is among the first, a diagnostic a log was given.
    void count(const Diagnostic& diagnostic);
    // Counts, keeps and prints, as report does, the report of `code` with
    // `count` numbers `values` that a log was given.
    void giveNumbers(Code code, int channel, const int* values, int count);
    // giveNumbers of `code` without numbers, `times` over.
    void giveRepeated(Code code, int channel, std::size_t times);
    // Hands a pending partial line to the sink now.
    void flush();

private:
    ConsoleSink sink_;
    ReportLog* log_ = nullptr;
    std::string line_;
    Level lineLevel_ = Level::Fatal;
    // What the formats printed hold, worked out once per string: a large
    // file prints the same few messages hundreds of thousands of times.
    std::array<FormatInfo, 64> formats_{};
    // The formats of the codes, which are literals: described once each.
    std::array<FormatInfo, codeCount> codeFormats_{};

    const FormatInfo& describe(Level level, const char* fmt);
    const FormatInfo& codeFormat(Code code);
    Diagnostic diagnosticOf(Code code, int channel, va_list args) const;
    void beginWith(const FormatInfo& info, va_list args);
    void emitComplete();
    void emit(const ConsoleText& piece);
    void putNumbers(const FormatInfo& info, const int* values);
};

// Makes `message` the record that Msg and MsgContinue write to on this thread
// until the scope ends; the record in place before comes back then.
class MessageScope {
public:
    // Installs `message` for this thread.
    explicit MessageScope(Message& message);
    // Puts the previous record back.
    ~MessageScope();
    // A scope is bound to its place on the stack.
    MessageScope(const MessageScope&) = delete;
    MessageScope& operator=(const MessageScope&) = delete;

private:
    Message* previous_;
};

// The record installed on this thread, or null: without one, messages go
// straight to standard output at the default level.
Message* currentMessage();

// Whether Msg would print a message of `level` now.
bool shown(Level level);

#if defined(__GNUC__)
#define MIDI2VARN_PRINTF(fmtIndex, argIndex) __attribute__((format(printf, fmtIndex, argIndex)))
#else
#define MIDI2VARN_PRINTF(fmtIndex, argIndex)
#endif

// Prints the level's label padded to 8 characters, then the formatted text,
// when the current level is at least `level`.
void Msg(Level level, const char* fmt, ...) MIDI2VARN_PRINTF(2, 3);

// The same filter, without the label: continues a line begun by Msg.
void MsgContinue(Level level, const char* fmt, ...) MIDI2VARN_PRINTF(2, 3);

// Continues the current line with `text` as it stands (no formatting), at
// the same filter as MsgContinue: for long texts such as a whole tune.
void MsgText(Level level, std::string_view text);

// Reports `code` through this thread's record: `args` are the values its
// format takes, in order (ints and C strings); the ints are kept as the
// diagnostic's arguments. `channel` is the channel it concerns (1..16), or
// noChannel.
template <typename... Args>
void report(Code code, int channel, Args... args);

// Hands the pending partial line of this thread's record to its sink.
void flushMessages();


namespace detail {

// Counts, keeps and prints the code numbered `code`; the variable arguments
// are its format's.
void report(int code, int channel, ...);
// Hands a report of numbers to this thread's log, where the record defers
// and the code's format takes numbers only; false where not.
bool deferNumbers(Code code, int channel, const int* values, int count);

} // namespace detail

template <typename... Args>
void report(Code code, int channel, Args... args)
{
    static_assert(((std::is_convertible_v<Args, int> || std::is_same_v<Args, const char*>) && ...),
                  "a code's values are integers and texts");
    // A task's warnings come by the hundred thousand: numbers go to its log
    // without the variable arguments.
    if constexpr (sizeof...(Args) <= ReportLog::maxNumbers && (std::is_convertible_v<Args, int> && ...)) {
        const int values[] = {static_cast<int>(args)..., 0};
        if (detail::deferNumbers(code, channel, values, static_cast<int>(sizeof...(Args))))
            return;
    }
    detail::report(static_cast<int>(code), channel, args...);
}
