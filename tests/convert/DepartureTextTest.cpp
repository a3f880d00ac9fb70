// Each wording of a departure made from its numbers: the report line and
// the plain words.
#include "convert/DepartureText.h"

#include "convert/Bars.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

constexpr std::int64_t beat = 96 * 24; // a quarter of 96 ticks, in 24ths of a tick
constexpr std::int64_t bar = 4 * beat;

Departure departure(DepartureKind kind, Wording wording, std::int64_t position, int pitch, int playedPitch = 0,
                    std::int64_t offset = 0, std::int64_t amount = 0, std::int64_t other = 0)
{
    Departure d;
    d.kind = kind;
    d.wording = wording;
    d.position = position;
    d.pitch = pitch;
    d.playedPitch = playedPitch;
    d.offset = offset;
    d.amount = amount;
    d.other = other;
    return d;
}

TEST(DepartureTextTest, EachWordingTellsItsNumbers)
{
    ChannelDepartures channel;
    channel.bars = std::make_shared<const Bars>(96, std::vector<TimeSignature>{});
    channel.polyphony = 3;
    using K = DepartureKind;
    using W = Wording;
    const struct {
        Departure departure;
        const char* line;
        const char* words;
    } cases[] = {
        {departure(K::Dropped, W::Identical, 0, 60), "1:1 dropped C4 (identical)",
         "dropped: a note of the same pitch starts with it (-e)"},
        {departure(K::Dropped, W::Polyphony, beat, 64), "1:2 dropped E4 (polyphony)",
         "dropped by the polyphony limit of 3"},
        {departure(K::Dropped, W::Cut, bar, 60), "2:1 dropped C4 (cut: the tune passed the text cap)",
         "dropped: the tune passed the text cap"},
        {departure(K::Dropped, W::HeldAgain, 0, 61),
         "1:1 dropped C#4 (held again: read as the end of the held note before it)",
         "dropped: a held note of its pitch still sounds, and its letter ends that one"},
        {departure(K::Dropped, W::Edited, 0, 60), "1:1 dropped C4 (edited: not in the text)",
         "dropped: not in the text"},
        {departure(K::Tempo, W::Tempo, 0, 200, 180), "1:1 tempo 200 played 180",
         "tempo 200 is played at 180: the game plays 60 to 180"},
        {departure(K::Pitch, W::PitchEdited, 0, 60, 72), "1:1 pitch C4 played C5",
         "played as C5 instead of C4: the text was edited"},
        {departure(K::Pitch, W::TooLow, 0, 36, 48), "1:1 pitch C2 played C3",
         "played as C3 instead of C2: too low for the game"},
        {departure(K::Pitch, W::TooHigh, 0, 96, 72), "1:1 pitch C7 played C5",
         "played as C5 instead of C7: too high for the game"},
        {departure(K::Start, W::Start, 3 * bar + 3 * beat / 8, 60, 0, -99, -3, bar),
         "4:1+3/8 start C4 -33/2 (rounding -1/2, drift -16)",
         "starts a whole note and 1/32 early: rounded down 1/32, drift of a whole note early from bar 2"},
        {departure(K::Start, W::Start, bar, 60, 0, 6, 0, 0), "2:1 start C4 +1 (rounding 0, drift +1)",
         "starts 1/16 late: drift from bar 1"},
        {departure(K::Start, W::Start, beat / 3, 60, 0, -2, -2), "1:1+1/3 start C4 -1/3 (rounding -1/3, drift 0)",
         "starts 1/48 early: rounded down to the sixteenth grid"},
        {departure(K::Stuck, W::Stuck, beat, 64), "1:2 stuck E4",
         "held and never ended: stuck, it sounds to the end of the tune"},
        {departure(K::HeldLate, W::HeldLate, 0, 60, 0, 0, 6), "1:1 held-late C4 +1",
         "held 1/16 longer: a held note ends only where no note sounds alone"},
        {departure(K::Length, W::Length, 0, 60, 0, 0, 96, 54), "1:1 length C4 16 played 9",
         "lasts 9/16 instead of a whole note"},
        {departure(K::Added, W::Added, 2 * beat, 67), "1:3 added G4",
         "played, but written for no note of the MIDI file"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatDeparture(channel, c.departure), c.line);
        EXPECT_EQ(departureWords(channel, c.departure), c.words) << c.line;
    }

    // The polyphony words name the channel's limit and how it chose.
    const Departure dropped = departure(K::Dropped, W::Polyphony, 0, 60);
    channel.outerVoices = true;
    EXPECT_EQ(departureWords(channel, dropped), "dropped: inner voice of a chord over the limit of 3");
    channel.polyphony = 0;
    EXPECT_EQ(departureWords(channel, dropped), "dropped by the polyphony limit");
}

} // namespace
