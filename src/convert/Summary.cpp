// The overview of a MIDI file: notes per channel and its tempo events,
// read with the converter's own reader so that both agree on the file.
#include "convert/Summary.h"

#include "core/Message.h"
#include "midi/MidiReader.h"

#include <algorithm>
#include <exception>
#include <vector>

namespace {

struct TempoEvent {
    int ticks;
    int bpm;
};

void sumUp(const MidiFile& file, MidiSummary& summary)
{
    std::vector<TempoEvent> tempos;
    for (const Track& track : file.tracks) {
        for (const Element& element : track.elements()) {
            if (element.isNote() && element.channel >= 0 && element.channel < channelCount)
                ++summary.notes[static_cast<std::size_t>(element.channel)];
            else if (element.kind == ElementKind::Tempo)
                tempos.push_back(TempoEvent{element.time, element.bpm});
        }
    }
    // Tracks run side by side: the tempo in force is the latest by time;
    // at equal times the file's order decides.
    std::stable_sort(tempos.begin(), tempos.end(),
                     [](const TempoEvent& a, const TempoEvent& b) { return a.ticks < b.ticks; });
    if (tempos.empty())
        return;
    summary.firstTempo = tempos.front().bpm;
    for (std::size_t i = 1; i < tempos.size(); ++i)
        if (tempos[i].bpm != tempos[i - 1].bpm)
            ++summary.tempoChanges;
}

} // namespace

MidiSummary summarize(std::span<const unsigned char> midi)
{
    MidiSummary summary;
    // A record without a sink: the reader's messages go nowhere.
    Message silent(ConsoleSink{}, Level::Fatal);
    MessageScope scope(silent);
    try {
        MidiFile file;
        if (!MidiReader().loadSong(midi, "", file))
            return summary;
        summary.readable = true;
        sumUp(file, summary);
    } catch (const std::exception&) {
        summary = MidiSummary{};
    }
    return summary;
}
