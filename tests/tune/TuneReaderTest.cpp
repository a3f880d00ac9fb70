#include "tune/TuneReader.h"

#include "tune/MacroWriter.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A tune's notes as "start+length:pitch@volume", with "h" for held and "s"
// for stuck, separated by blanks.
std::string describe(const PlayedTune& tune)
{
    std::string out;
    for (const PlayedNote& n : tune.notes) {
        if (!out.empty())
            out += ' ';
        out += std::to_string(n.start) + "+" + std::to_string(n.length) + ":" + std::to_string(n.pitch) + "@" +
               std::to_string(n.volume) + (n.held ? "h" : "") + (n.stuck ? "s" : "");
    }
    return out;
}

// The issues as "line:column:e" or ":w", separated by blanks.
std::string places(const TuneRead& read)
{
    std::string out;
    for (const ReadIssue& i : read.issues) {
        if (!out.empty())
            out += ' ';
        out += std::to_string(i.line) + ":" + std::to_string(i.column) + (i.error ? ":e" : ":w");
    }
    return out;
}

TEST(TuneReaderTest, BareTunes)
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
        {"[c]$C", "0+4:60@10hs 0+4:60@10", "1:2:w"},
        // Read for what they plainly say, with a warning.
        {"c4c2C", "0+4:60@10 4+2:60@10 6+4:60@10", "1:1:w 1:3:w"},
        {"p2p9C", "11+4:60@10", "1:1:w 1:3:w"},
        {"[c]4c10", "0+4:60@10 0+10:60@10", "1:3:w 1:5:w"},
        {"[C]", "0+4:60@10", "1:2:w"},
        {"d#", "0+2:63@10", "1:1:w"},
        {"@200C@30C", "0+4:60@10 4+4:60@10", "1:1:w 1:6:w"},
        {"%10C%9}}C", "0+4:60@10 4+4:60@10", "1:1:w 1:8:w"},
        {"[]C", "0+4:60@10", "1:1:w"},
        // Errors: reported where they stand, reading goes on.
        {"CxC", "0+4:60@10 4+4:60@10", "1:2:e"},
        {"C]C", "0+4:60@10 4+4:60@10", "1:2:e"},
        {"C5C", "0+4:60@10 4+4:60@10", "1:2:e"},
        {"[c2]", "0+4:60@10", "1:3:e"},
        {"[[c]", "0+4:60@10", "1:2:e"},
        {"[cp]", "0+4:60@10", "1:3:e"},
        {"c0p0C%0C", "0+4:60@10 4+4:60@10", "1:1:e 1:3:e 1:6:e"},
        {"[c]0C", "0+4:60@10", "1:3:e"},
        {"7C", "0+4:60@10", "1:1:e"},
        {"Cp1234567C", "0+4:60@10 4+4:60@10", "1:3:e"},
        {"C[ce", "0+4:60@10", "1:2:e"},
        {"C C", "0+4:60@10 4+4:60@10", "1:2:e"},
        {"  C\r\n", "0+4:60@10", ""},
    };
    for (const auto& c : cases) {
        const TuneRead read = readTunes(c.text);
        ASSERT_EQ(read.tunes.size(), 1u) << c.text;
        EXPECT_FALSE(read.macro) << c.text;
        EXPECT_EQ(read.tunes[0].channel, 1) << c.text;
        EXPECT_EQ(describe(read.tunes[0]), c.notes) << c.text;
        EXPECT_EQ(places(read), c.issues) << c.text;
    }
}

TEST(TuneReaderTest, ClockTempoAndHeldEnds)
{
    const TuneRead read = readTunes("@90[c]$C@p8@150@60[%5e]$D[c]$");
    ASSERT_EQ(read.tunes.size(), 1u);
    const PlayedTune& tune = read.tunes[0];
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

TEST(TuneReaderTest, MacroFiles)
{
    const std::string windows = "\xEF\xBB\xBF\"/playthis\"\r\n{\r\n  // Channel 3\r\n  \"/use @100C\\r\"\r\n}\r\n\r\n"
                                "\"/playthis\"\r\n{\r\n  // Channel 10\r\n  \"/use [ce]8\\r\"\r\n}\r\n\r\n";
    TuneRead read = readTunes(windows);
    EXPECT_TRUE(read.macro);
    ASSERT_EQ(read.tunes.size(), 2u);
    EXPECT_EQ(read.tunes[0].channel, 3);
    EXPECT_EQ(read.tunes[0].text, "@100C");
    EXPECT_EQ(read.tunes[1].channel, 10);
    EXPECT_EQ(describe(read.tunes[1]), "0+8:60@10 0+8:64@10");
    EXPECT_EQ(read.errors + read.warnings, 0u);

    // Errors at their line and column; blocks without a channel line take
    // the lowest channel no block names.
    const std::string broken = "\"/playthis\"\n{\n  \"/use CxC\\r\"\n}\nhello\n\"/playthis\"\n{\n  // Channel 1\n"
                               "  \"/use C\"\n  // Channel 99\n}\n";
    read = readTunes(broken);
    ASSERT_EQ(read.tunes.size(), 2u);
    EXPECT_EQ(read.tunes[0].channel, 2);
    EXPECT_EQ(read.tunes[1].channel, 1);
    EXPECT_EQ(places(read), "5:1:e 9:10:w 10:3:e 1:1:e 3:10:e");
    EXPECT_EQ(formatIssue("song.txt", read.issues[4]), "song.txt:3:10: error: unexpected 'x' ignored\n");

    // A channel line of many characters (a fuzzing finding: the number overflowed).
    read = readTunes("\"/playthis\"\n{\n  // Channel \xBA\xBA\xBA\xBA\xBA\xBA\xBA\xBA\xBA\xBA\xBA\xBA 10\n"
                     "  \"/use C\\r\"\n}\n");
    ASSERT_EQ(read.tunes.size(), 1u);
    EXPECT_EQ(read.tunes[0].channel, 1);
    EXPECT_EQ(places(read), "3:3:e 1:1:e");
}

// The macros of a split channel ("macro K of M") play one after another
// as one tune; anything else keeps its blocks apart, as before.
TEST(TuneReaderTest, MacrosOfASplitChannelJoin)
{
    const auto block = [](const std::string& comment, const std::string& text) {
        std::string lines = "\"/playthis\"\n{\n  // ";
        lines += comment;
        lines += "\n  \"/use ";
        lines += text;
        lines += "\\r\"\n}\n\n";
        return lines;
    };
    const struct {
        std::string input;
        std::string tunes; // per tune "channel:text", separated by blanks
        std::string issues;
    } cases[] = {
        {block("Channel 2, macro 1 of 2", "@%=C") + block("Channel 3", "c") + block("Channel 2, macro 2 of 2", "@%=D"),
         "2:@%=C@%=D 3:c", ""},
        // Out of order, or of another count: a tune of its own.
        {block("Channel 2, macro 2 of 2", "D") + block("Channel 2, macro 1 of 2", "C"), "2:D 2:C", ""},
        {block("Channel 2, macro 1 of 2", "C") + block("Channel 2, macro 2 of 3", "D"), "2:C 2:D", ""},
        {block("Channel 2", "C") + block("Channel 2", "D"), "2:C 2:D", ""},
        // Not "macro K of M": the line is no channel line, as before.
        {block("Channel 2, macro 3 of 2", "C"), "1:C", "3:3:e 1:1:e"},
        {block("Channel 2, part 1", "C"), "1:C", "3:3:e 1:1:e"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        const TuneRead read = readTunes(c.input);
        std::string tunes;
        for (const PlayedTune& tune : read.tunes) {
            if (!tunes.empty())
                tunes += ' ';
            tunes += std::to_string(tune.channel);
            tunes += ':';
            tunes += tune.text;
        }
        EXPECT_EQ(tunes, c.tunes);
        EXPECT_EQ(places(read), c.issues);
    }
    // The second macro starts where the first ends, its issues placed in its own line.
    const TuneRead read = readTunes(block("Channel 1, macro 1 of 2", "@%=C") + block("Channel 1, macro 2 of 2", "@%=xD"));
    ASSERT_EQ(read.tunes.size(), 1u);
    EXPECT_EQ(describe(read.tunes[0]), "0+4:60@10 4+4:62@10");
    EXPECT_EQ(places(read), "10:12:e");
}

// A long tune is cut into /part pieces, a backslash never ending one; read
// back, the pieces join into the tune again.
TEST(TuneReaderTest, TuneCutIntoParts)
{
    std::string text;
    for (int i = 0; i < 164; ++i)
        text += "CDE";
    text += "CD\\C=C";
    for (int i = 0; i < 200; ++i)
        text += "FGA";
    ASSERT_EQ(text[494], '\\');
    TuneEncoder tune;
    tune.text = text;
    std::string macro;
    appendMacro(macro, tune, 4);
    ASSERT_NE(macro.find("/part \\C=C"), std::string::npos) << "no piece ends before the backslash";

    const TuneRead read = readTunes(macro);
    ASSERT_EQ(read.tunes.size(), 1u);
    EXPECT_EQ(read.tunes[0].channel, 5);
    EXPECT_EQ(read.tunes[0].text, text);
    ASSERT_EQ(read.tunes[0].notes.size(), 496u + 600);
    EXPECT_EQ(read.tunes[0].notes[494].pitch, 48);
    EXPECT_EQ(read.tunes[0].notes[494].start, 494 * 4);
    EXPECT_EQ(read.tunes[0].notes[495].pitch, 60);
    EXPECT_EQ(read.errors + read.warnings, 0u);
}

} // namespace
