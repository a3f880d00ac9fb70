// Macro writer and status report of a tune.
#include "tune/VARN.h"

#include "core/Message.h"
#include "core/Wrap.h"

#include <string>
#include <string_view>

namespace {

// Longest text written on a single "/use" line, and the piece size when cut.
constexpr std::size_t singleLine = 501;
constexpr std::size_t pieceSize = 495;
// Pieces the game accepts in one macro.
constexpr int maxPieces = 5;

} // namespace

void VARN::print() const
{
    if (text.empty())
        return;
    // The text holds no zero byte, so this is what "%s\n" would print.
    MsgText(Level::Output, text);
    MsgText(Level::Output, "\n");
}

void VARN::printMacro(std::string& out, int channel)
{
    if (text.empty())
        return;
    out += "\"/playthis\"\n{\n  // Channel ";
    out += std::to_string(addWrap(channel, 1));
    out += '\n';
    if (text.size() <= singleLine) {
        out += "  \"/use ";
        out += text;
        out += "\\r\"\n";
    } else {
        int pieces = 0;
        for (std::size_t p = 0; p < text.size();) {
            std::size_t s = pieceSize;
            // A backslash may not end a piece: it moves on to the next one.
            if (text.size() - p >= pieceSize && text[p + pieceSize - 1] == '\\')
                s = pieceSize - 1;
            const std::string_view piece = std::string_view(text).substr(p, s);
            out += "  \"/use ";
            if (piece.size() == s)
                out += "/part ";
            out += piece;
            out += "\\r\"\n";
            ++pieces;
            p += s;
        }
        if (pieces > maxPieces)
            status |= EMLong;
    }
    out += "}\n\n";
}

void VARN::showStatus() const
{
    if (status == ENone) {
        if (!text.empty())
            Msg(Level::Info, "VARN conversion was successful!\n");
        return;
    }
    if (status & ENUnder)
        Msg(Level::Error, "Some notes were too low!\n");
    if (status & ENOver)
        Msg(Level::Error, "Some notes were too high!\n");
    if (status & ENShort)
        Msg(Level::Error, "Some notes were too short!\n");
    if (status & ENLong)
        Msg(Level::Warn, "Some notes were too long!\n");
    if (status & ETUnder)
        Msg(Level::Warn, "Tempo was too slow!\n");
    if (status & ETOver)
        Msg(Level::Warn, "Tempo was too fast!\n");
    if (status & EMLong)
        Msg(Level::Error, "The resulting macro has too many parts!\n");
}
