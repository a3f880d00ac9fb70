#include "tune/MacroWriter.h"

#include "support/Capture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class MacroWriterTest : public ::testing::Test {
protected:
    void SetUp() override { setVerbosity(4); }
    void TearDown() override { setVerbosity(4); }

    // The macro block that appendMacro writes for `encoder`.
    static std::string macro(TuneEncoder& encoder, int channel = 0)
    {
        std::string result;
        appendMacro(result, encoder, channel);
        return result;
    }

    // The "/use" lines expected for the given pieces.
    static std::string block(int channel, const std::vector<std::string>& lines)
    {
        std::string s = "\"/playthis\"\n{\n  // Channel " + std::to_string(channel) + "\n";
        for (const auto& line : lines)
            s += "  \"/use " + line + "\\r\"\n";
        return s + "}\n\n";
    }
};

// A text of `n` characters that never has a backslash.
std::string plain(std::size_t n)
{
    std::string s;
    for (std::size_t i = 0; i < n; ++i)
        s += "abcdefg"[i % 7];
    return s;
}

TEST_F(MacroWriterTest, BlockComments)
{
    const std::vector<int> two{3, 5}, one{3};
    EXPECT_EQ(blockComment(3), "Channel 3");
    EXPECT_EQ(blockComment(3, 2, 4), "Channel 3, macro 2 of 4");
    EXPECT_EQ(blockComment(3, 0, 0, 2, two), "Player 2: channels 3, 5");
    EXPECT_EQ(blockComment(3, 2, 4, 2, one), "Player 2, macro 2 of 4: channel 3");
}

TEST_F(MacroWriterTest, SingleLine)
{
    TuneEncoder encoder;
    encoder.text = "C";
    EXPECT_EQ(macro(encoder), "\"/playthis\"\n{\n  // Channel 1\n  \"/use C\\r\"\n}\n\n");
    EXPECT_EQ(macro(encoder, 15), block(16, {"C"}));
    EXPECT_EQ(encoder.status, TuneStatus::None);
    // The block is appended to what the output holds already.
    std::string out = "before\n";
    appendMacro(out, encoder, 1);
    EXPECT_EQ(out, "before\n" + block(2, {"C"}));
    appendMacro(out, encoder, 2);
    EXPECT_EQ(out, "before\n" + block(2, {"C"}) + block(3, {"C"}));
}

TEST_F(MacroWriterTest, EmptyTextWritesNothing)
{
    TuneEncoder encoder;
    EXPECT_EQ(macro(encoder), "");
    std::string out = "kept";
    appendMacro(out, encoder, 0);
    EXPECT_EQ(out, "kept");
}

TEST_F(MacroWriterTest, CuttingIntoParts)
{
    const std::string t501 = plain(501), t502 = plain(502), t990 = plain(990), t991 = plain(991);
    const struct {
        std::string text;
        std::vector<std::string> lines;
    } cases[] = {
        {t501, {t501}},
        {t502, {"/part " + t502.substr(0, 495), t502.substr(495)}},
        {t990, {"/part " + t990.substr(0, 495), "/part " + t990.substr(495)}},
        {t991, {"/part " + t991.substr(0, 495), "/part " + t991.substr(495, 495), t991.substr(990)}},
    };
    for (const auto& c : cases) {
        TuneEncoder encoder;
        encoder.text = c.text;
        EXPECT_EQ(macro(encoder, 2), block(3, c.lines)) << c.text.size();
        EXPECT_EQ(encoder.status, TuneStatus::None) << c.text.size();
    }
}

TEST_F(MacroWriterTest, BackslashMovesToNextPiece)
{
    std::string text = plain(1000);
    text[494] = '\\';
    text[494 + 494 + 3] = '\\'; // not at a cut
    TuneEncoder encoder;
    encoder.text = text;
    EXPECT_EQ(macro(encoder),
              block(1, {"/part " + text.substr(0, 494), "/part " + text.substr(494, 495), text.substr(989)}));

    // With fewer than 495 characters left there is no cut to move.
    text = plain(988);
    text[494] = '\\';
    text[987] = '\\';
    encoder.text = text;
    EXPECT_EQ(macro(encoder), block(1, {"/part " + text.substr(0, 494), text.substr(494)}));
}

TEST_F(MacroWriterTest, TooManyParts)
{
    const struct {
        std::string text;
        int pieces;
        TuneStatus status;
    } cases[] = {
        {plain(2475), 5, TuneStatus::None},
        {plain(2476), 6, TuneStatus::MacroTooLong},
        // Every piece shortened by a backslash: 2475 characters make 6 pieces.
        {std::string(2475, '\\'), 6, TuneStatus::MacroTooLong},
        {std::string(2470, '\\'), 5, TuneStatus::None},
    };
    for (const auto& c : cases) {
        TuneEncoder encoder;
        encoder.text = c.text;
        encoder.status = TuneStatus::TooShort;
        const std::string out = macro(encoder);
        std::size_t lines = 0;
        for (std::size_t pos = out.find("\"/use "); pos != std::string::npos; pos = out.find("\"/use ", pos + 1))
            ++lines;
        EXPECT_EQ(lines, static_cast<std::size_t>(c.pieces)) << c.text.size();
        // Every piece is written, and no other bit is touched.
        EXPECT_EQ(encoder.status, TuneStatus::TooShort | c.status) << c.text.size();
        std::string joined;
        for (std::size_t pos = 0; (pos = out.find("\"/use ", pos)) != std::string::npos;) {
            pos += 6;
            if (out.compare(pos, 6, "/part ") == 0)
                pos += 6;
            const std::size_t end = out.find("\\r\"\n", pos + 1);
            joined += out.substr(pos, end - pos);
        }
        EXPECT_EQ(joined, c.text);
    }
}

TEST_F(MacroWriterTest, PrintShowsTheTune)
{
    TuneEncoder encoder;
    encoder.text = "@90C";
    ConsoleCapture capture;
    printTune(encoder);
    EXPECT_EQ(capture.take(), "@90C\n");

    ConsoleCapture quiet;
    setVerbosity(3);
    printTune(encoder);
    encoder.text.clear();
    setVerbosity(9);
    printTune(encoder);
    EXPECT_EQ(quiet.take(), "");
}

TEST_F(MacroWriterTest, StatusMessages)
{
    const struct {
        TuneStatus status;
        const char* console;
    } cases[] = {
        {TuneStatus::TooLow, "ERROR:  Some notes were too low!\n"},
        {TuneStatus::TooHigh, "ERROR:  Some notes were too high!\n"},
        {TuneStatus::TooShort, "ERROR:  Some notes were too short!\n"},
        {TuneStatus::TooLong, "WARN:   Some notes were too long!\n"},
        {TuneStatus::TempoTooSlow, "WARN:   Tempo was too slow!\n"},
        {TuneStatus::TempoTooFast, "WARN:   Tempo was too fast!\n"},
        {TuneStatus::MacroTooLong, "ERROR:  The resulting macro has too many parts!\n"},
        {static_cast<TuneStatus>(0xFF),
         "ERROR:  Some notes were too low!\n"
         "ERROR:  Some notes were too high!\n"
         "ERROR:  Some notes were too short!\n"
         "WARN:   Some notes were too long!\n"
         "WARN:   Tempo was too slow!\n"
         "WARN:   Tempo was too fast!\n"
         "ERROR:  The resulting macro has too many parts!\n"},
        {TuneStatus::MacroTooLong | TuneStatus::TempoTooFast | TuneStatus::TooLow,
         "ERROR:  Some notes were too low!\n"
         "WARN:   Tempo was too fast!\n"
         "ERROR:  The resulting macro has too many parts!\n"},
    };
    setVerbosity(9);
    for (const auto& c : cases) {
        TuneEncoder encoder;
        encoder.text = "C";
        encoder.status = c.status;
        ConsoleCapture capture;
        showStatus(encoder, 1);
        EXPECT_EQ(capture.take(), c.console) << bitsOf(c.status);
    }
}

TEST_F(MacroWriterTest, StatusFollowsVerbosity)
{
    TuneEncoder encoder;
    encoder.text = "C";
    const struct {
        int verbosity;
        TuneStatus status;
        const char* console;
    } cases[] = {
        {5, TuneStatus::None, "Info:   VARN conversion was successful!\n"},
        {4, TuneStatus::None, ""},
        {2, TuneStatus::TooLong | TuneStatus::TooHigh, "ERROR:  Some notes were too high!\n"},
    };
    for (const auto& c : cases) {
        setVerbosity(c.verbosity);
        encoder.status = c.status;
        ConsoleCapture capture;
        showStatus(encoder, 1);
        EXPECT_EQ(capture.take(), c.console) << c.verbosity;
    }
    // No tune, no success message.
    setVerbosity(9);
    TuneEncoder empty;
    ConsoleCapture capture;
    showStatus(empty, 1);
    EXPECT_EQ(capture.take(), "");
}

} // namespace
