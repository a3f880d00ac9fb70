// Macro writer and status report of a tune.
#include "tune/VARN.h"

#include "core/Message.h"
#include "core/Wrap.h"

namespace {

// Longest text written on a single "/use" line, and the piece size when cut.
constexpr std::size_t singleLine = 501;
constexpr std::size_t pieceSize = 495;
// Pieces the game accepts in one macro.
constexpr int maxPieces = 5;

} // namespace

void VARN::print() const
{
    if (!text.empty())
        MsgSilent(4, "%s\n", text.c_str());
}

void VARN::printMacro(FILE* out, int channel)
{
    if (text.empty())
        return;
    std::fprintf(out, "\"/playthis\"\n");
    std::fprintf(out, "{\n");
    std::fprintf(out, "  // Channel %d\n", addWrap(channel, 1));
    if (text.size() <= singleLine) {
        std::fprintf(out, "  \"/use %s\\r\"\n", text.c_str());
    } else {
        int pieces = 0;
        for (std::size_t p = 0; p < text.size();) {
            std::size_t s = pieceSize;
            // A backslash may not end a piece: it moves on to the next one.
            if (text.size() - p >= pieceSize && text[p + pieceSize - 1] == '\\')
                s = pieceSize - 1;
            const std::string piece = text.substr(p, s);
            std::fprintf(out, "  \"/use ");
            if (piece.size() == s)
                std::fprintf(out, "/part ");
            std::fprintf(out, "%s\\r\"\n", piece.c_str());
            ++pieces;
            p += s;
        }
        if (pieces > maxPieces)
            status |= EMLong;
    }
    std::fprintf(out, "}\n\n");
}

void VARN::showStatus() const
{
    if (status == ENone) {
        if (!text.empty())
            Msg(5, "VARN conversion was successful!\n");
        return;
    }
    if (status & ENUnder)
        Msg(1, "Some notes were too low!\n");
    if (status & ENOver)
        Msg(1, "Some notes were too high!\n");
    if (status & ENShort)
        Msg(1, "Some notes were too short!\n");
    if (status & ENLong)
        Msg(3, "Some notes were too long!\n");
    if (status & ETUnder)
        Msg(3, "Tempo was too slow!\n");
    if (status & ETOver)
        Msg(3, "Tempo was too fast!\n");
    if (status & EMLong)
        Msg(1, "The resulting macro has too many parts!\n");
}
