#include "core/Message.h"
#include "support/Capture.h"

#include <gtest/gtest.h>

namespace {

class MessageTest : public ::testing::Test {
protected:
    void TearDown() override { setVerbosity(Message::msgLevelDefault); }
};

TEST_F(MessageTest, DefaultLevelIsFour)
{
    EXPECT_EQ(Message::msgLevelDefault, 4);
    EXPECT_EQ(Message().msgLevel, 4);
    EXPECT_EQ(Message::instance()->msgLevel, 4);
}

TEST_F(MessageTest, LabelsArePaddedToEightCharacters)
{
    setVerbosity(9);
    const char* expected[10] = {"FATAL:  x\n", "ERROR:  x\n", "FORMAT: x\n", "WARN:   x\n",
                                "Output: x\n", "Info:   x\n", "Notice: x\n", "Debug:  x\n",
                                "Ignore: x\n", "All:    x\n"};
    for (int level = 0; level <= 9; ++level) {
        StdoutCapture capture;
        Msg(level, "x\n");
        EXPECT_EQ(capture.take(), expected[level]) << "level " << level;
    }
}

TEST_F(MessageTest, PrintsUpToTheCurrentLevelOnly)
{
    for (int current = 0; current <= 9; ++current) {
        setVerbosity(current);
        for (int level = 0; level <= 9; ++level) {
            StdoutCapture capture;
            Msg(level, "%d", level);
            MsgSilent(level, "+");
            const std::string out = capture.take();
            if (level <= current)
                EXPECT_EQ(out, std::string(Message::msgString[level]).append(8 - std::string(Message::msgString[level]).size(), ' ') +
                                   std::to_string(level) + "+");
            else
                EXPECT_EQ(out, "") << "level " << level << " at " << current;
        }
    }
}

TEST_F(MessageTest, LineBuiltFromPiecesHasOneLabel)
{
    StdoutCapture capture;
    Msg(4, "Setting polyphony of channel %d to ", 3);
    MsgSilent(4, "%d.\n", 2);
    EXPECT_EQ(capture.take(), "Output: Setting polyphony of channel 3 to 2.\n");
}

TEST_F(MessageTest, HiddenLineIsMissingAsAWhole)
{
    StdoutCapture capture;
    Msg(5, "Time %s", "  0    ");
    MsgSilent(5, "Channel %d: \n", 1);
    EXPECT_EQ(capture.take(), "");
}

TEST_F(MessageTest, LevelsOutsideTheTablePrintNothing)
{
    setVerbosity(9);
    StdoutCapture capture;
    Msg(-1, "a");
    Msg(10, "b");
    MsgSilent(10, "c");
    EXPECT_EQ(capture.take(), "");
}

TEST(GgTTest, Euclid)
{
    struct Case {
        int a, b, gcd;
    };
    const Case cases[] = {{24, 18, 6}, {12, 0, 12}, {0, 5, 5}, {0, 0, 0}, {480, 120, 120},
                          {480, 1000 % 480, 40}, {7, 3, 1}, {-2147483647 - 1, -1, -1}};
    for (const Case& c : cases)
        EXPECT_EQ(GgT(c.a, c.b), c.gcd) << c.a << ", " << c.b;
}

} // namespace
