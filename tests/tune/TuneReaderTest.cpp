#include "tune/TuneReader.h"

#include "tune/MacroWriter.h"

#include "support/PlayedText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

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

// A bare text is one tune of channel 1, its issues placed by line and
// column; blanks and line ends around it are not part of it.
TEST(TuneReaderTest, BareTunes)
{
    const struct {
        const char* text;
        const char* notes;
        const char* issues;
    } cases[] = {
        {"C", "0+4:60@10", ""},
        {"CxC", "0+4:60@10 4+4:60@10", "1:2:e"},
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
        // A band's player plays on its lowest channel, split or whole.
        {block(blockComment(3, 1, 2, 1, std::vector{3, 5}), "@%=C") + block(blockComment(1, 0, 0, 2, std::vector{1}), "c") +
             block(blockComment(3, 2, 2, 1, std::vector{3, 5}), "@%=D"),
         "3:@%=C@%=D 1:c", ""},
        {block("Player 2: channels 17, 18", "C"), "1:C", "3:3:e 1:1:e"},
        {block("Player 2 channels 3", "C"), "1:C", "3:3:w 1:1:e"},
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
