#include "core/Message.h"
#include "support/Capture.h"

#include <gtest/gtest.h>

#include <iterator>
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

// A line shown at every verbosity from its code's level on, after the
// level's label padded to eight characters.
TEST_F(MessageTest, LinesShowFromTheirLevelOnWithPaddedLabels)
{
    const struct {
        void (*say)();
        const char* line;
    } lines[] = {
        {[] { report(Code::OutOfMemory, noChannel); }, "FATAL:  Out of memory.\n"},
        {[] { report(Code::TooLow, 1); }, "ERROR:  Some notes were too low!\n"},
        {[] { report(Code::NotTrack, noChannel); }, "FORMAT: Not a MIDI Track.\n"},
        {[] { report(Code::MidiType2, noChannel); }, "WARN:   Note: MIDI type 2 probably not supported.\n"},
        {[] { tell(Code::AllDeactivated); }, "Output: Deactivating all channels.\n"},
        {[] { tell(Code::Song); }, "Info:   Song!\n"},
        {[] { tell(Code::AlreadyActive, 3); }, "Notice: Activating already active channel 3.\n"},
        {[] { tell(Code::PolyphonyB, 2, 1.5); }, "Debug:  polyphonyB 2 @ 1.5\n"},
        {[] { tell(Code::PortPrefix, "  1", 10); }, "Ignore: Time   1: Port prefix 0a ignored.\n"},
    };
    for (int current = 0; current <= 9; ++current) {
        setVerbosity(current);
        for (int level = 0; level < static_cast<int>(std::size(lines)); ++level) {
            ConsoleCapture capture;
            lines[level].say();
            EXPECT_EQ(capture.take(), level <= current ? lines[level].line : "") << level << " at " << current;
        }
    }
}

TEST_F(MessageTest, LineBuiltFromPiecesHasOneLabel)
{
    ConsoleCapture capture;
    tell(Code::PolyphonyOfChannel, 3);
    tell(Code::PolyphonyLimit, 2);
    EXPECT_EQ(capture.take(), "Output: Setting polyphony of channel 3 to 2.\n");
}

TEST_F(MessageTest, HiddenLineIsMissingAsAWhole)
{
    ConsoleCapture capture;
    tell(Code::ElementTime, "  0    ");
    tell(Code::ElementTempo, 120);
    EXPECT_EQ(capture.take(), "");
}

TEST_F(MessageTest, LevelsOutsideTheTablePrintNothing)
{
    setVerbosity(9);
    ConsoleCapture capture;
    MsgText(static_cast<Level>(-1), "a");
    MsgText(static_cast<Level>(10), "b");
    EXPECT_EQ(capture.take(), "");
}

TEST_F(MessageTest, LineFromPiecesReachesTheSinkWholeWithItsFirstLevel)
{
    std::vector<Piece> pieces;
    Message message(collectInto(pieces), Level::All);
    MessageScope scope(message);
    tell(Code::TrackUsesChannels);
    MsgText(Level::Warn, " and");
    EXPECT_TRUE(pieces.empty()); // nothing before the line ends
    tell(Code::VerbositySet, "", "All");
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].level, Level::Info);
    EXPECT_FALSE(pieces[0].macro);
    EXPECT_EQ(pieces[0].text, "Info:   Track uses channel and Setting verbosity to \"All\".\n");
}

TEST_F(MessageTest, FlushHandsOverTextWithoutLineEnd)
{
    std::vector<Piece> pieces;
    {
        Message message(collectInto(pieces), Level::All);
        MessageScope scope(message);
        tell(Code::PolyphonyOfAll);
        EXPECT_TRUE(pieces.empty());
        flushMessages();
        ASSERT_EQ(pieces.size(), 1u);
        EXPECT_EQ(pieces[0].level, Level::Output);
        EXPECT_EQ(pieces[0].text, "Output: Setting polyphony of all channels to ");
        message.flush(); // nothing pending: nothing handed over
        EXPECT_EQ(pieces.size(), 1u);
        // The record's end hands over what is still pending.
        tell(Code::ElementTime, "tail");
        EXPECT_EQ(pieces.size(), 1u);
    }
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[1].level, Level::Info);
    EXPECT_EQ(pieces[1].text, "Info:   Time tail");
}

TEST_F(MessageTest, NestedRecordsShareNeitherLevelNorPendingText)
{
    std::vector<Piece> outerPieces, innerPieces;
    Message outer(collectInto(outerPieces), Level::Warn);
    MessageScope outerScope(outer);
    MsgText(Level::Warn, "outer ");
    {
        Message inner(collectInto(innerPieces), Level::All);
        MessageScope innerScope(inner);
        EXPECT_EQ(currentMessage(), &inner);
        EXPECT_TRUE(shown(Level::Info));
        tell(Code::Song);
        tell(Code::PolyphonyOfAll);
    }
    EXPECT_EQ(currentMessage(), &outer);
    EXPECT_FALSE(shown(Level::Info)); // the outer record's level again
    tell(Code::Song);
    MsgText(Level::Warn, "rest\n");

    ASSERT_EQ(innerPieces.size(), 2u);
    EXPECT_EQ(innerPieces[0].text, "Info:   Song!\n");
    EXPECT_EQ(innerPieces[1].text, "Output: Setting polyphony of all channels to "); // handed over when the record ended
    EXPECT_EQ(innerPieces[1].level, Level::Output);
    ASSERT_EQ(outerPieces.size(), 1u);
    EXPECT_EQ(outerPieces[0].text, "outer rest\n");
    EXPECT_EQ(outerPieces[0].level, Level::Warn);
    EXPECT_EQ(outer.msgLevel, Level::Warn);
}

} // namespace
