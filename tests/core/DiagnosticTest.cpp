#include "core/Diagnostic.h"

#include "core/Message.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

// Every code has a name of its own that leads back to it, the internal
// checks are exactly the codes whose text says so, and every format is one
// the console formatter makes.
TEST(DiagnosticTest, EveryCodeHasItsOwnNameAndDescription)
{
    std::set<std::string_view> names;
    for (std::size_t i = 0; i < codeCount; ++i) {
        const Code code = static_cast<Code>(i);
        const CodeInfo& info = codeInfo(code);
        EXPECT_FALSE(info.name.empty()) << i;
        EXPECT_TRUE(names.insert(info.name).second) << info.name;
        Code named = Code::Usage;
        ASSERT_TRUE(codeNamed(info.name, named)) << info.name;
        EXPECT_EQ(named, code) << info.name;
        EXPECT_EQ(info.internal, std::string(info.format).starts_with("BUG!")) << info.name;
        // The formatter makes these conversions only; any other would be
        // printed as it stands.
        const std::regex made("%(0?[0-9]*h?[dux]|[0-9]*s|g|%)");
        EXPECT_EQ(std::regex_replace(info.format, made, "").find('%'), std::string::npos) << info.name;
        if (isProblem(code)) {
            EXPECT_LE(static_cast<int>(info.level), static_cast<int>(Level::Warn)) << info.name;
        }
    }
    Code unchanged = Code::Empty;
    EXPECT_FALSE(codeNamed("NoSuchCode", unchanged));
    EXPECT_EQ(unchanged, Code::Empty);
}

// The console line made from a code and its values is the line the program
// has always printed; the record keeps a problem's values and line, whether
// the verbosity shows it or not, and never an informational line.
TEST(DiagnosticTest, LinesAreMadeFromTheValues)
{
    const struct {
        Level verbosity;
        std::string console;
    } levels[] = {
        {Level::All,
         "FATAL:  Channel 3 is already being merged!\n"
         "ERROR:  Warning! Track is -2 bytes too short!\n"
         "WARN:   Time 1:1:1: Unknown controller event 0a on channel 5 ignored.\n"
         "WARN:   Warning! SMPTE time division found (25 fps, 40 tps), using 1000.\n"
         "FATAL:  Could not open \"a b.mid\".\n"
         "Output: Setting polyphony of channel 3 to 2.\n"
         "Notice: Time 1:1:1: Tempo is 125.5.\n"
         "Usage: x [options]\nmore\n"
         "FATAL:  BUG! Triplet found! (found 7)\n"},
        {Level::Fatal,
         "FATAL:  Channel 3 is already being merged!\n"
         "FATAL:  Could not open \"a b.mid\".\n"
         "Usage: x [options]\nmore\n"
         "FATAL:  BUG! Triplet found! (found 7)\n"},
    };
    for (const auto& c : levels) {
        std::string console;
        Message message([&console](const ConsoleText& piece) { console.append(piece.text); }, c.verbosity);
        {
            MessageScope scope(message);
            report(Code::MergedTwice, 3, 3);
            report(Code::TrackTooShort, noChannel, -2);
            report(Code::UnknownController, 5, "1:1:1", 10, 5);
            report(Code::SmpteDivision, noChannel, 25, 40, 1000);
            report(Code::CannotOpenInput, noChannel, "a b.mid");
            tell(Code::PolyphonyOfChannel, 3);
            tell(Code::PolyphonyLimit, 2);
            tell(Code::Tempo, "1:1:1", 125.5);
            report(Code::Usage, noChannel, "Usage: x [options]\nmore\n");
            report(Code::InternalTriplet, noChannel, 7);
        }
        message.flush();
        EXPECT_EQ(console, c.console);

        const std::vector<Diagnostic>& kept = message.diagnostics.kept();
        ASSERT_EQ(kept.size(), 7u);
        EXPECT_EQ(kept[0].code, Code::MergedTwice);
        EXPECT_EQ(kept[0].level, Level::Fatal);
        EXPECT_EQ(kept[0].channel, 3);
        EXPECT_EQ(std::vector<int>(kept[0].args().begin(), kept[0].args().end()), std::vector<int>{3});
        EXPECT_EQ(kept[1].text, "ERROR:  Warning! Track is -2 bytes too short!");
        EXPECT_EQ(std::vector<int>(kept[2].args().begin(), kept[2].args().end()), (std::vector<int>{10, 5}));
        EXPECT_EQ(kept[2].channel, 5);
        EXPECT_EQ(std::vector<int>(kept[3].args().begin(), kept[3].args().end()), (std::vector<int>{25, 40, 1000}));
        EXPECT_TRUE(kept[4].args().empty());
        EXPECT_EQ(kept[5].text, "Usage: x [options]");
        EXPECT_TRUE(codeInfo(kept[6].code).internal);
        EXPECT_EQ(kept[6].text, "FATAL:  BUG! Triplet found! (found 7)");
        EXPECT_EQ(message.diagnostics.count(Code::Tempo), 0u);
    }
}

// A warning repeated a million times costs a count: the record keeps only
// the first few of each code, in order, and appending keeps that rule.
TEST(DiagnosticTest, RepeatsAreCountedAndTheFirstFewKept)
{
    Message message(ConsoleSink{}, Level::Fatal);
    {
        MessageScope scope(message);
        report(Code::NotTrack, noChannel);
        for (int i = 0; i < 100000; ++i)
            report(Code::NoteNotReleased, 1 + i % 16, i);
        report(Code::CutAtCap, 2, 4950000);
    }
    const Diagnostics& d = message.diagnostics;
    EXPECT_EQ(d.count(Code::NotTrack), 1u);
    EXPECT_EQ(d.count(Code::NoteNotReleased), 100000u);
    EXPECT_EQ(d.count(Code::Empty), 0u);
    EXPECT_FALSE(d.has(Code::Empty));
    ASSERT_EQ(d.kept().size(), 2 + Diagnostics::keptPerCode);
    EXPECT_EQ(d.kept()[Diagnostics::keptPerCode].args()[0], static_cast<int>(Diagnostics::keptPerCode) - 1);
    EXPECT_EQ(d.codes(), (std::vector<Code>{Code::NotTrack, Code::NoteNotReleased, Code::CutAtCap}));
    ASSERT_NE(d.first(Code::CutAtCap), nullptr);
    EXPECT_EQ(d.first(Code::CutAtCap)->channel, 2);
    EXPECT_EQ(d.first(Code::Usage), nullptr);

    Diagnostics joined = d;
    joined.append(d);
    EXPECT_EQ(joined.count(Code::NoteNotReleased), 200000u);
    EXPECT_EQ(joined.count(Code::NotTrack), 2u);
    // The second NotTrack and CutAtCap are kept after the first ones; no
    // more NoteNotReleased fit.
    ASSERT_EQ(joined.kept().size(), 4 + Diagnostics::keptPerCode);
    EXPECT_EQ(joined.kept().back().code, Code::CutAtCap);
    EXPECT_EQ(joined.kept()[joined.kept().size() - 2].code, Code::NotTrack);
}

} // namespace
