#include "tune/TuneParser.h"

#include "support/PlayedText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// One text parsed: the tune, its issues as "e" or "w" and their offset
// separated by blanks, and the same with what each says, one a line.
struct Parsed {
    PlayedTune tune;
    std::string places;
    std::string issues;
};

Parsed parse(const std::string& text)
{
    Parsed parsed;
    parseTune(text, parsed.tune, [&](bool error, std::size_t offset, const std::string& what) {
        std::string place(error ? "e" : "w");
        place += std::to_string(offset);
        parsed.places += (parsed.places.empty() ? "" : " ") + place;
        parsed.issues += place + " " + what + "\n";
    });
    return parsed;
}

TEST(TuneParserTest, Tokens)
{
    const struct {
        const char* text;
        const char* notes;
        const char* issues;
    } cases[] = {
        // Every token as the converter writes it.
        {"C", "0+4:60@10", ""},
        {"c", "0+2:60@10", ""},
        {"c1c3c5c6c7c8c9", "0+1:60@10 1+3:60@10 4+5:60@10 9+6:60@10 15+7:60@10 22+8:60@10 30+9:60@10", ""},
        {"pC", "2+4:60@10", ""},
        {"p1p3p4p5p6p7p8C", "34+4:60@10", ""},
        {"\\C=C/C", "0+4:48@10 4+4:60@10 8+4:72@10", ""},
        {"c#e.f#a.b.", "0+2:61@10 2+2:63@10 4+2:66@10 6+2:68@10 8+2:70@10", ""},
        {"/b#", "0+2:84@10", ""},
        {"\\e.c", "0+2:51@10 2+2:48@10", ""},
        {"%5C%C%3}C{{C", "0+4:60@5 4+4:60@10 8+4:60@4 12+4:60@2", ""},
        {"@90C@C", "0+4:60@10 4+4:60@10", ""},
        {"[ce]G", "0+4:60@10 0+4:64@10 0+4:67@10", ""},
        {"[ce]2[g]8[c]1[d]9p", "0+2:60@10 0+2:64@10 0+8:67@10 0+1:60@10 0+9:62@10", ""},
        // The two volume states: a mark acts where it stands.
        {"%5[%3c]8E[e]C", "0+8:60@3 0+4:64@5 4+4:64@3 4+4:60@5", ""},
        {"%3[c]8[{e]", "0+8:60@10 0+4:64@9", ""},
        {"[%3c]8%3[c]", "0+8:60@3 0+4:60@3", ""},
        // Held notes: started and ended by ]$ groups.
        {"[c]$p8p8[c]$", "0+16:60@10h", ""},
        {"[c]$EGp8[c]$", "0+16:60@10h 0+4:64@10 4+4:67@10", ""},
        {"[ce]$Gp8[ce]$", "0+12:60@10h 0+12:64@10h 0+4:67@10", ""},
        {"[c]$[e]$Gp8[e]$p4[c]$", "0+16:60@10h 0+12:64@10h 0+4:67@10", ""},
        {"[\\c]$=Ep6[\\c]$", "0+10:48@10h 0+4:64@10", ""},
        {"[c]$[e]9Gp8p4[c]$", "0+16:60@10h 0+9:64@10 0+4:67@10", ""},
        {"[c]$p8[ce]$p8[e]$", "0+8:60@10h 8+8:64@10h", ""},
        {"[c]$C", "0+4:60@10hs 0+4:60@10", "w1"},
        // Read for what they plainly say, with a warning.
        {"c4c2C", "0+4:60@10 4+2:60@10 6+4:60@10", "w0 w2"},
        {"p2p9C", "11+4:60@10", "w0 w2"},
        {"[c]4c10", "0+4:60@10 0+10:60@10", "w2 w4"},
        {"[C]", "0+4:60@10", "w1"},
        {"d#", "0+2:63@10", "w0"},
        {"@200C@30C", "0+4:60@10 4+4:60@10", "w0 w5"},
        {"%10C%9}}C", "0+4:60@10 4+4:60@10", "w0 w7"},
        {"[]C", "0+4:60@10", "w0"},
        // Errors: reported where they stand, reading goes on.
        {"CxC", "0+4:60@10 4+4:60@10", "e1"},
        {"C]C", "0+4:60@10 4+4:60@10", "e1"},
        {"C5C", "0+4:60@10 4+4:60@10", "e1"},
        {"[c2]", "0+4:60@10", "e2"},
        {"[[c]", "0+4:60@10", "e1"},
        {"[cp]", "0+4:60@10", "e2"},
        {"c0p0C%0C", "0+4:60@10 4+4:60@10", "e0 e2 e5"},
        {"[c]0C", "0+4:60@10", "e2"},
        {"7C", "0+4:60@10", "e0"},
        {"Cp1234567C", "0+4:60@10 4+4:60@10", "e2"},
        {"C[ce", "0+4:60@10", "e1"},
        {"C C", "0+4:60@10 4+4:60@10", "e1"},
    };
    for (const auto& c : cases) {
        const Parsed parsed = parse(c.text);
        EXPECT_EQ(describe(parsed.tune), c.notes) << c.text;
        EXPECT_EQ(parsed.places, c.issues) << c.text;
    }
}

TEST(TuneParserTest, ClockTempoAndHeldEnds)
{
    const Parsed parsed = parse("@90[c]$C@p8@150@60[%5e]$D[c]$");
    const PlayedTune& tune = parsed.tune;
    EXPECT_EQ(describe(tune), "0+16:60@10h 0+4:60@10 12+4:64@5hs 12+4:62@10");
    ASSERT_EQ(tune.tempos.size(), 3u);
    EXPECT_EQ(tune.tempos[0].clock, 0);
    EXPECT_EQ(tune.tempos[0].bpm, 90);
    EXPECT_EQ(tune.tempos[1].clock, 4);
    EXPECT_EQ(tune.tempos[1].bpm, 120);
    EXPECT_EQ(tune.tempos[2].clock, 12);
    EXPECT_EQ(tune.tempos[2].bpm, 60);
    ASSERT_EQ(tune.heldEnds.size(), 1u);
    EXPECT_EQ(tune.heldEnds[0].letter, 26u);
    EXPECT_EQ(tune.heldEnds[0].note, 0u);
    EXPECT_EQ(tune.end, 16);
    EXPECT_EQ(tune.notes[1].letter, 7u);
}

// Each issue says what was read, or what was done instead, with the
// token as the text gives it.
TEST(TuneParserTest, IssuesSayWhatWasDone)
{
    const struct {
        const char* text;
        const char* issues;
        std::int64_t end;
    } cases[] = {
        {"d#", "w0 note \"d#\" read as MIDI note 63\n", 2},
        {"=b#", "w1 note \"b#\" read as MIDI note 72\n", 2},
        {"c4", "w0 note \"c4\" read as 4 sixteenths\n", 4},
        {"c0", "e0 note \"c0\" has no length: left out\n", 0},
        {"C5", "e1 a number after an uppercase note: \"5\" ignored\n", 4},
        {"[C]", "w1 uppercase note \"C\" in a group read as lowercase\n", 0},
        {"[c2]", "e2 a note in a group takes the group's length: \"2\" ignored\n", 0},
        {"p9", "w0 rest \"p9\" read as 9 sixteenths\n", 9},
        {"p0", "e0 rest \"p0\" has no length: ignored\n", 0},
        {"[p3]", "e1 rest \"p3\" inside a group ignored\nw0 empty group\n", 0},
        {"%0", "e0 volume \"%0\" is not 1..10: ignored\n", 0},
        {"%10", "w0 volume \"%10\" read as 10\n", 0},
        {"}", "w0 volume step \"}\" beyond 1..10: volume stays 10\n", 0},
        {"%1{", "w2 volume step \"{\" beyond 1..10: volume stays 1\n", 0},
        {"@200", "w0 tempo \"@200\" outside 60..180: played as 180\n", 0},
        {"@7", "w0 tempo \"@7\" outside 60..180: played as 60\n", 0},
        {"[[c]", "e1 '[' inside a group ignored\n", 0},
        {"]8", "e0 \"]8\" without '[' ignored\n", 0},
        {"[c]0", "e2 group end \"]0\" has no length: its notes are left out\n", 0},
        {"[c]10", "w2 group end \"]10\" read as 10 sixteenths\n", 0},
        {"[c]$[c]$", "w5 held note ends where it starts\n", 0},
        {"p[c]$p3", "w2 held note (MIDI note 60) never ended: stuck, it sounds to the end of the tune\n", 5},
        {"C[ce", "e1 group never closed: its notes are left out\n", 4},
        {"7", "e0 number \"7\" without a note, rest or mark ignored\n", 0},
        {"x", "e0 unexpected 'x' ignored\n", 0},
        {" \x7F", "e0 unexpected byte 0x20 ignored\ne1 unexpected byte 0x7F ignored\n", 0},
        // The largest number a token may carry, and one beyond it.
        {"p999999", "w0 rest \"p999999\" read as 999999 sixteenths\n", 999999},
        {"p1000000C", "e1 number \"1000000\" is larger than 999999: token ignored\n", 4},
        {"12345678", "e0 number \"12345678\" is larger than 999999: token ignored\n", 0},
    };
    for (const auto& c : cases) {
        const Parsed parsed = parse(c.text);
        EXPECT_EQ(parsed.issues, c.issues) << c.text;
        EXPECT_EQ(parsed.tune.end, c.end) << c.text;
    }
}

} // namespace
