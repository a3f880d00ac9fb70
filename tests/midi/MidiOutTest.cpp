// The one MIDI writer: its encoding of numbers, events and chunks.
#include "midi/MidiOut.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

using namespace std::string_literals;

TEST(MidiOutTest, VariableLengthQuantities)
{
    const struct {
        std::uint32_t value;
        std::string bytes;
    } cases[] = {
        {0, "\x00"s},         {0x7F, "\x7F"s},         {0x80, "\x81\x00"s},
        {0x3FFF, "\xFF\x7F"s}, {0x4000, "\x81\x80\x00"s}, {0x0FFFFFFF, "\xFF\xFF\xFF\x7F"s},
    };
    for (const auto& c : cases) {
        std::string out = "x";
        appendVlq(out, c.value);
        EXPECT_EQ(out, "x" + c.bytes) << c.value;
    }
}

TEST(MidiOutTest, RunningStatusIsLeftOutOnlyWhereItRepeats)
{
    for (const bool running : {false, true}) {
        TrackOut track(running);
        track.event(0, "\x90\x3C\x40"s);
        track.event(10, "\x90\x3E\x40"s); // repeats: status left out when running
        track.meta(10, 0x01, "a");        // a meta event ends the run
        track.event(20, "\x90\x3C\x00"s);
        track.event(20, "\x80\x3E\x40"s); // another status
        track.event(5, "\x80\x40\x40"s);  // earlier than the last: at the last tick
        const std::string body = running ? "\x00\x90\x3C\x40\x0A\x3E\x40\x00\xFF\x01\x01"
                                           "a\x0A\x90\x3C\x00\x00\x80\x3E\x40\x00\x40\x40"s
                                         : "\x00\x90\x3C\x40\x0A\x90\x3E\x40\x00\xFF\x01\x01"
                                           "a\x0A\x90\x3C\x00\x00\x80\x3E\x40\x00\x80\x40\x40"s;
        EXPECT_EQ(track.chunk(), midiChunk(body + "\x00\xFF\x2F\x00"s)) << running;
    }
}

TEST(MidiOutTest, WaitLongerThanOneDeltaIsBridged)
{
    TrackOut track;
    track.event(0x0FFFFFFFLL + 5, "\xC0\x01"s);
    EXPECT_EQ(track.chunk(), midiChunk("\xFF\xFF\xFF\x7F\xFF\x01\x00"
                                       "\x05\xC0\x01"
                                       "\x00\xFF\x2F\x00"s));
    EXPECT_EQ(midiHeader(1, 3, 96), "MThd\x00\x00\x00\x06\x00\x01\x00\x03\x00\x60"s);
}

} // namespace
