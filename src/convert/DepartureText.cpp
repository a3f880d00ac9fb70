// The texts of a departure, made from its numbers when asked.
#include "convert/DepartureText.h"

#include "convert/AmountText.h"
#include "core/Settings.h"

namespace {

constexpr const char* kindWords[departureKinds] = {"dropped",   "start", "length", "pitch", "held-late",
                                                   "stuck",     "tempo", "added",  "drum"};

// The bar of a place: "12" of "12:3+1/2".
std::string barOf(const std::string& place)
{
    return place.substr(0, place.find(':'));
}

// Why the polyphony limit dropped a note, with the limit when there is one.
std::string polyphonyWords(const ChannelDepartures& channel)
{
    if (channel.polyphony <= 0)
        return "dropped by the polyphony limit";
    const std::string limit = std::to_string(channel.polyphony);
    return channel.outerVoices ? "dropped: inner voice of a chord over the limit of " + limit
                               : "dropped by the polyphony limit of " + limit;
}

// "played as C3 instead of C2: too low for the game".
std::string pitchWords(const Departure& d)
{
    const char* why = d.wording == Wording::TooLow    ? ": too low for the game"
                      : d.wording == Wording::TooHigh ? ": too high for the game"
                                                      : ": the text was edited";
    return "played as " + noteName(d.playedPitch) + " instead of " + noteName(d.pitch) + why;
}

// "starts 1/32 late: drift from bar 12", from the note's rounding down to a
// sixteenth and the drift carried to it (both in 24ths of a quarter).
std::string startWords(const ChannelDepartures& channel, const Departure& d)
{
    const std::int64_t rounding = d.amount;
    const std::int64_t drift = d.offset - rounding;
    const auto way = [](std::int64_t amount) { return amount > 0 ? " late" : " early"; };
    std::string words = "starts " + noteValue(d.offset) + way(d.offset) + ": ";
    if (drift == 0)
        return words + "rounded down to the sixteenth grid";
    const std::string since = "from bar " + barOf(channel.bars ? channel.bars->place(d.other) : std::string());
    if (rounding == 0)
        return words + "drift " + since;
    return words + "rounded down " + noteValue(rounding) + ", drift of " + noteValue(drift) + way(drift) + " " + since;
}

} // namespace

const char* kindName(DepartureKind kind)
{
    return kindWords[static_cast<std::size_t>(kind)];
}

std::string departurePlace(const ChannelDepartures& channel, const Departure& d)
{
    return channel.bars ? channel.bars->place(d.position) : std::string();
}

std::string departureDetail(const ChannelDepartures&, const Departure& d)
{
    const std::string name = noteName(d.pitch);
    switch (d.wording) {
    case Wording::Identical: return name + " (identical)";
    case Wording::Polyphony: return name + " (polyphony)";
    case Wording::Cut: return name + " (cut: the tune passed the text cap)";
    case Wording::HeldAgain: return name + " (held again: read as the end of the held note before it)";
    case Wording::Edited: return name + " (edited: not in the text)";
    case Wording::Tempo: return std::to_string(d.pitch) + " played " + std::to_string(d.playedPitch);
    case Wording::PitchEdited:
    case Wording::TooLow:
    case Wording::TooHigh:
    case Wording::Drum: return name + " played " + noteName(d.playedPitch);
    case Wording::Start:
        return name + " " + sixteenths(d.offset) + " (rounding " + sixteenths(d.amount) + ", drift " +
               sixteenths(d.offset - d.amount) + ")";
    case Wording::HeldLate: return name + " " + sixteenths(d.amount);
    case Wording::Length: return name + " " + sixteenths(d.amount, false) + " played " + sixteenths(d.other, false);
    case Wording::Stuck:
    case Wording::Added: break;
    }
    return name;
}

std::string departureWords(const ChannelDepartures& channel, const Departure& d)
{
    switch (d.wording) {
    case Wording::Identical: return "dropped: a note of the same pitch starts with it (-e)";
    case Wording::Polyphony: return polyphonyWords(channel);
    case Wording::Cut: return "dropped: the tune passed the text cap";
    case Wording::HeldAgain: return "dropped: a held note of its pitch still sounds, and its letter ends that one";
    case Wording::Edited: return "dropped: not in the text";
    case Wording::Tempo:
        return "tempo " + std::to_string(d.pitch) + " is played at " + std::to_string(d.playedPitch) +
               ": the game plays 60 to 180";
    case Wording::PitchEdited:
    case Wording::TooLow:
    case Wording::TooHigh: return pitchWords(d);
    case Wording::Start: return startWords(channel, d);
    case Wording::Stuck: return "held and never ended: stuck, it sounds to the end of the tune";
    case Wording::HeldLate:
        return "held " + noteValue(d.amount) + " longer: a held note ends only where no note sounds alone";
    case Wording::Length: return "lasts " + noteValue(d.other) + " instead of " + noteValue(d.amount);
    case Wording::Drum:
        return "drum played as a pitch (" + noteName(d.playedPitch) + "): the game has no drums; -d " +
               std::to_string(drumChannel) + " leaves them out";
    case Wording::Added: break;
    }
    return "played, but written for no note of the MIDI file";
}

std::string formatDeparture(const ChannelDepartures& channel, const Departure& d)
{
    return departurePlace(channel, d) + " " + kindName(d.kind) + " " +
           departureDetail(channel, d);
}
