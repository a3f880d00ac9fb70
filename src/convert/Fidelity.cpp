// The fidelity score of a song, summed from its channels' reports.
#include "convert/Fidelity.h"

#include "convert/AmountText.h"
#include "convert/Conversion.h"
#include "tune/MacroWriter.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

void measureMacros(ChannelDepartures& out, const TuneRecord* written, const PlayedTune* played)
{
    if (!played)
        return;
    const std::string_view text = played->text;
    if (!written || written->pieces.empty() || written->text != text) {
        out.macros = 1;
        out.parts = partsOf(text);
        return;
    }
    const std::vector<std::size_t>& starts = written->pieces;
    out.macros = static_cast<int>(starts.size());
    for (std::size_t k = 0; k < starts.size(); ++k) {
        const std::size_t end = k + 1 < starts.size() ? starts[k + 1] : text.size();
        out.parts = std::max(out.parts, partsOf(text.substr(starts[k], end - starts[k])));
    }
}

SongFidelity songFidelity(const std::vector<ChannelDepartures>& report)
{
    SongFidelity song;
    for (const ChannelDepartures& c : report) {
        const Fidelity& f = c.fidelity;
        song.fidelity.notes += f.notes;
        song.fidelity.played += f.played;
        song.fidelity.inPitch += f.inPitch;
        song.fidelity.onTime += f.onTime;
        song.fidelity.inLength += f.inLength;
        song.fidelity.asWritten += f.asWritten;
        song.fidelity.drums += f.drums;
        song.macros = std::max(song.macros, c.macros);
        song.parts = std::max(song.parts, c.parts);
        song.split = song.split || c.split;
    }
    return song;
}

bool playsWhole(const SongFidelity& song)
{
    return song.parts <= gameParts;
}

std::string percent(std::size_t part, std::size_t whole)
{
    if (whole == 0)
        return "-";
    // Notes fit far below the range where 100 times them would wrap.
    return std::to_string(part * 100 / whole) + "%";
}

std::size_t asWrittenPercent(const Fidelity& f)
{
    return f.notes == 0 ? 0 : f.asWritten * 100 / (f.notes + f.drums);
}

std::string asWrittenShare(const Fidelity& f)
{
    return f.notes == 0 ? "-" : std::to_string(asWrittenPercent(f)) + "%";
}

std::string playedShare(const Fidelity& f)
{
    return percent(f.played, f.notes);
}

bool scoresHigher(const Fidelity& a, const Fidelity& b)
{
    // A song without pitched notes scores nothing. Notes stay far below 2^32
    // (each takes 24 bytes in the conversion), so the products cannot wrap.
    const std::uint64_t ofA = a.notes == 0 ? 0 : a.asWritten;
    const std::uint64_t ofB = b.notes == 0 ? 0 : b.asWritten;
    return ofA * std::max<std::uint64_t>(b.notes + b.drums, 1) > ofB * std::max<std::uint64_t>(a.notes + a.drums, 1);
}

std::string drumWords(std::size_t drums)
{
    return grouped(drums) + (drums == 1 ? " drum note played as a pitch" : " drum notes played as pitches");
}

std::string formatSongLine(const SongFidelity& song)
{
    const Fidelity& f = song.fidelity;
    std::string text = "song: " + grouped(f.notes) + (f.notes == 1 ? " note, " : " notes, ") + asWrittenShare(f) +
                       " as written, " + playedShare(f) + " played, ";
    const std::string parts = std::to_string(song.parts) + (song.parts == 1 ? " part" : " parts");
    if (song.split)
        text += std::to_string(song.macros) + (song.macros == 1 ? " macro" : " macros") + " of at most " + parts;
    else
        text += "the longest channel needs " + parts;
    return f.drums == 0 ? text : text + "; " + drumWords(f.drums);
}
