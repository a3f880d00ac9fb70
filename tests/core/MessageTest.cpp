#include "core/Message.h"
#include "support/Capture.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

class MessageTest : public ::testing::Test {
protected:
    void TearDown() override { setVerbosity(Message::msgLevelDefault); }
};

// What a sink received: one entry per piece handed to it.
struct Piece {
    Level level;
    bool macro;
    std::string text;
};

ConsoleSink collectInto(std::vector<Piece>& pieces)
{
    return [&pieces](const ConsoleText& piece) { pieces.push_back(Piece{piece.level, piece.macro, std::string(piece.text)}); };
}

TEST_F(MessageTest, DefaultLevelIsFour)
{
    EXPECT_EQ(static_cast<int>(Message::msgLevelDefault), 4);
    EXPECT_EQ(Message::msgLevelDefault, Level::Output);
    EXPECT_EQ(Message(ConsoleSink{}).msgLevel, Level::Output);
}

TEST_F(MessageTest, LabelsArePaddedToEightCharacters)
{
    setVerbosity(9);
    const char* expected[10] = {"FATAL:  x\n", "ERROR:  x\n", "FORMAT: x\n", "WARN:   x\n",
                                "Output: x\n", "Info:   x\n", "Notice: x\n", "Debug:  x\n",
                                "Ignore: x\n", "All:    x\n"};
    for (int level = 0; level <= 9; ++level) {
        ConsoleCapture capture;
        Msg(static_cast<Level>(level), "x\n");
        EXPECT_EQ(capture.take(), expected[level]) << "level " << level;
    }
}

TEST_F(MessageTest, PrintsUpToTheCurrentLevelOnly)
{
    for (int current = 0; current <= 9; ++current) {
        setVerbosity(current);
        for (int level = 0; level <= 9; ++level) {
            ConsoleCapture capture;
            Msg(static_cast<Level>(level), "%d", level);
            MsgContinue(static_cast<Level>(level), "+");
            const std::string out = capture.take();
            if (level <= current)
                EXPECT_EQ(out, std::string(levelTable[level].label).append(8 - levelTable[level].label.size(), ' ') +
                                   std::to_string(level) + "+");
            else
                EXPECT_EQ(out, "") << "level " << level << " at " << current;
        }
    }
}

TEST_F(MessageTest, LineBuiltFromPiecesHasOneLabel)
{
    ConsoleCapture capture;
    Msg(Level::Output, "Setting polyphony of channel %d to ", 3);
    MsgContinue(Level::Output, "%d.\n", 2);
    EXPECT_EQ(capture.take(), "Output: Setting polyphony of channel 3 to 2.\n");
}

TEST_F(MessageTest, HiddenLineIsMissingAsAWhole)
{
    ConsoleCapture capture;
    Msg(Level::Info, "Time %s", "  0    ");
    MsgContinue(Level::Info, "Channel %d: \n", 1);
    EXPECT_EQ(capture.take(), "");
}

TEST_F(MessageTest, LevelsOutsideTheTablePrintNothing)
{
    setVerbosity(9);
    ConsoleCapture capture;
    Msg(static_cast<Level>(-1), "a");
    Msg(static_cast<Level>(10), "b");
    MsgContinue(static_cast<Level>(10), "c");
    EXPECT_EQ(capture.take(), "");
}

TEST_F(MessageTest, LineFromPiecesReachesTheSinkWholeWithItsFirstLevel)
{
    std::vector<Piece> pieces;
    Message message(collectInto(pieces), Level::All);
    MessageScope scope(message);
    Msg(Level::Warn, "Track %d ", 1);
    MsgContinue(Level::Info, "uses ");
    EXPECT_TRUE(pieces.empty()); // nothing before the line ends
    MsgContinue(Level::Debug, "channel %d.\n", 2);
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].level, Level::Warn);
    EXPECT_FALSE(pieces[0].macro);
    EXPECT_EQ(pieces[0].text, "WARN:   Track 1 uses channel 2.\n");
}

TEST_F(MessageTest, FlushHandsOverTextWithoutLineEnd)
{
    std::vector<Piece> pieces;
    {
        Message message(collectInto(pieces), Level::All);
        MessageScope scope(message);
        Msg(Level::Error, "partial %s", "line");
        EXPECT_TRUE(pieces.empty());
        flushMessages();
        ASSERT_EQ(pieces.size(), 1u);
        EXPECT_EQ(pieces[0].level, Level::Error);
        EXPECT_EQ(pieces[0].text, "ERROR:  partial line");
        message.flush(); // nothing pending: nothing handed over
        EXPECT_EQ(pieces.size(), 1u);
        // The record's end hands over what is still pending.
        Msg(Level::Notice, "tail");
        EXPECT_EQ(pieces.size(), 1u);
    }
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[1].level, Level::Notice);
    EXPECT_EQ(pieces[1].text, "Notice: tail");
}

TEST_F(MessageTest, NestedRecordsShareNeitherLevelNorPendingText)
{
    std::vector<Piece> outerPieces, innerPieces;
    Message outer(collectInto(outerPieces), Level::Warn);
    MessageScope outerScope(outer);
    Msg(Level::Warn, "outer ");
    {
        Message inner(collectInto(innerPieces), Level::All);
        MessageScope innerScope(inner);
        EXPECT_EQ(currentMessage(), &inner);
        EXPECT_TRUE(shown(Level::Info));
        Msg(Level::Info, "inner line\n");
        Msg(Level::Debug, "inner pending");
    }
    EXPECT_EQ(currentMessage(), &outer);
    EXPECT_FALSE(shown(Level::Info)); // the outer record's level again
    Msg(Level::Info, "hidden\n");
    MsgContinue(Level::Warn, "rest\n");

    ASSERT_EQ(innerPieces.size(), 2u);
    EXPECT_EQ(innerPieces[0].text, "Info:   inner line\n");
    EXPECT_EQ(innerPieces[1].text, "Debug:  inner pending"); // handed over when the record ended
    EXPECT_EQ(innerPieces[1].level, Level::Debug);
    ASSERT_EQ(outerPieces.size(), 1u);
    EXPECT_EQ(outerPieces[0].text, "WARN:   outer rest\n");
    EXPECT_EQ(outerPieces[0].level, Level::Warn);
    EXPECT_EQ(outer.msgLevel, Level::Warn);
}

// Whatever way a message is made (plain text, numbers made in place,
// printf), the sink gets whole lines as printf would write them, each
// line once. Every format is printed twice: the second time from what the
// record learnt of it the first time.
TEST_F(MessageTest, FormatsPrintAsPrintfDoes)
{
    std::vector<Piece> pieces;
    Message record(collectInto(pieces), Level::All);
    MessageScope scope(record);
    const int a = INT_MIN, b = -1, c = 0, d = 123456;
    std::string expected;
    auto expect = [&expected](const char* label, const std::string& text) { expected += label + text; };
    char made[512];
    for (int round = 0; round < 2; ++round) {
        Msg(Level::Warn, "plain line\n");
        expect("WARN:   ", "plain line\n");
        Msg(Level::Format, "%d\n", a);
        std::snprintf(made, sizeof made, "%d\n", a);
        expect("FORMAT: ", made);
        Msg(Level::Error, "note %d ch %d note %d.\n", b, c, d);
        std::snprintf(made, sizeof made, "note %d ch %d note %d.\n", b, c, d);
        expect("ERROR:  ", made);
        Msg(Level::Info, "%d%d%d%d%d%d%d%d\n", a, b, c, d, a, b, c, d);
        std::snprintf(made, sizeof made, "%d%d%d%d%d%d%d%d\n", a, b, c, d, a, b, c, d);
        expect("Info:   ", made);
        Msg(Level::Info, "nine %d%d%d%d%d%d%d%d%d\n", a, b, c, d, a, b, c, d, a);
        std::snprintf(made, sizeof made, "nine %d%d%d%d%d%d%d%d%d\n", a, b, c, d, a, b, c, d, a);
        expect("Info:   ", made);
        Msg(Level::Debug, "two\nlines %d %s %d%%\n", d, "x", b);
        std::snprintf(made, sizeof made, "two\nlines %d %s %d%%\n", d, "x", b);
        expect("Debug:  ", made);
        Msg(Level::Notice, "open %d ", c);
        MsgContinue(Level::Notice, "ended %d\n", d);
        std::snprintf(made, sizeof made, "open %d ended %d\n", c, d);
        expect("Notice: ", made);
    }
    std::string got;
    for (const Piece& piece : pieces) {
        EXPECT_EQ(piece.text.find('\n'), piece.text.size() - 1) << piece.text;
        got += piece.text;
    }
    EXPECT_EQ(got, expected);
}

// A format in a buffer that holds another text by the next message prints
// that text: what a record learnt of a format is bound to its text.
TEST_F(MessageTest, ReusedFormatBufferPrintsItsNewText)
{
    std::vector<Piece> pieces;
    Message record(collectInto(pieces), Level::All);
    MessageScope scope(record);
    char buffer[32] = "first %d\n";
    Msg(Level::Warn, buffer, 1);
    std::strcpy(buffer, "plain\n");
    Msg(Level::Warn, buffer, 0);
    std::strcpy(buffer, "no %d, then %d\n");
    Msg(Level::Warn, buffer, 2, 3);
    std::string got;
    for (const Piece& piece : pieces)
        got += piece.text;
    EXPECT_EQ(got, "WARN:   first 1\nWARN:   plain\nWARN:   no 2, then 3\n");
}

} // namespace
