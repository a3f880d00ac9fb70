// The fidelity score of a song, summed from its channels' reports.
#include "convert/Fidelity.h"

#include "convert/AmountText.h"
#include "convert/Conversion.h"
#include "tune/MacroWriter.h"

#include <algorithm>
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

std::string formatSongLine(const SongFidelity& song)
{
    const Fidelity& f = song.fidelity;
    std::string text = "song: " + grouped(f.notes) + (f.notes == 1 ? " note, " : " notes, ") +
                       percent(f.asWritten, f.notes) + " as written, " + percent(f.played, f.notes) + " played, ";
    const std::string parts = std::to_string(song.parts) + (song.parts == 1 ? " part" : " parts");
    if (song.split)
        return text + std::to_string(song.macros) + (song.macros == 1 ? " macro" : " macros") + " of at most " + parts;
    return text + "the longest channel needs " + parts;
}
