#include "tune/MacroWriter.h"

#include "core/Message.h"
#include "core/WrappingArithmetic.h"

#include <string>
#include <string_view>
#include <utility>

namespace {

// Longest text written on a single "/use" line, and the piece size when cut.
constexpr std::size_t singleLine = 501;
constexpr std::size_t pieceSize = 495;
// The length of the piece of a long text that starts at `p`. A backslash
// may not end a piece: it moves on to the next one.
std::size_t pieceAt(std::string_view text, std::size_t p)
{
    if (text.size() - p >= pieceSize && text[p + pieceSize - 1] == '\\')
        return pieceSize - 1;
    return pieceSize;
}

} // namespace

void printTune(const TuneEncoder& tune)
{
    if (tune.text.empty())
        return;
    // The text holds no zero byte nor line end, so this is what "%s\n"
    // would print.
    MsgText(Level::Output, tune.text);
    MsgText(Level::Output, "\n");
}

void appendMacro(std::string& out, TuneEncoder& tune, int channel)
{
    appendMacro(out, tune, blockComment(addWrap(channel, 1)));
}

void appendMacro(std::string& out, TuneEncoder& tune, std::string_view comment)
{
    if (tune.text.empty())
        return;
    if (appendBlock(out, tune.text, comment) > gameParts)
        tune.status |= TuneStatus::MacroTooLong;
}

std::string blockComment(int channel, int macro, int macros, int player, std::span<const int> channels)
{
    const std::string piece =
        macros == 0 ? std::string() : ", macro " + std::to_string(macro) + " of " + std::to_string(macros);
    if (player == 0)
        return "Channel " + std::to_string(channel) + piece;
    std::string comment = "Player " + std::to_string(player) + piece + (channels.size() == 1 ? ": channel " : ": channels ");
    for (std::size_t i = 0; i < channels.size(); ++i) {
        if (i)
            comment += ", ";
        comment += std::to_string(channels[i]);
    }
    return comment;
}

int appendBlock(std::string& out, std::string_view text, std::string_view comment)
{
    out += "\"/playthis\"\n{\n  // ";
    out += comment;
    out += '\n';
    int pieces = 0;
    if (text.size() <= singleLine) {
        out += "  \"/use ";
        out += text;
        out += "\\r\"\n";
        pieces = 1;
    } else {
        for (std::size_t p = 0; p < text.size();) {
            const std::size_t s = pieceAt(text, p);
            const std::string_view piece = text.substr(p, s);
            out += "  \"/use ";
            if (piece.size() == s)
                out += "/part ";
            out += piece;
            out += "\\r\"\n";
            ++pieces;
            p += s;
        }
    }
    out += "}\n\n";
    return pieces;
}

int partsOf(std::string_view text)
{
    if (text.size() <= singleLine)
        return 1;
    int pieces = 0;
    for (std::size_t p = 0; p < text.size(); p += pieceAt(text, p))
        ++pieces;
    return pieces;
}

std::int64_t partsBudget(int parts)
{
    if (parts <= 1)
        return singleLine;
    // A part holds a whole piece, one character less before a backslash.
    return std::int64_t{parts} * static_cast<std::int64_t>(pieceSize - 1);
}

void showStatus(const TuneEncoder& tune, int channel)
{
    if (tune.status == TuneStatus::None) {
        if (!tune.text.empty())
            tell(Code::Converted);
        return;
    }
    // The flags in the order they are reported.
    static constexpr std::pair<TuneStatus, Code> flags[] = {
        {TuneStatus::TooLow, Code::TooLow},
        {TuneStatus::TooHigh, Code::TooHigh},
        {TuneStatus::TooShort, Code::TooShort},
        {TuneStatus::TooLong, Code::TooLong},
        {TuneStatus::TempoTooSlow, Code::TempoTooSlow},
        {TuneStatus::TempoTooFast, Code::TempoTooFast},
        {TuneStatus::MacroTooLong, Code::TooManyParts},
    };
    for (const auto& [flag, code] : flags)
        if (hasAny(tune.status, flag))
            report(code, channel);
}
