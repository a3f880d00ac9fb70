#include "options/ChannelSwitches.h"

#include "core/Message.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// One switch applied to the settings: its letter and argument.
struct Switch {
    char letter;
    std::string arg;
};

// Applies `switches` in order until one does not finish; returns how the
// last one ended (Done for all of them).
ListEnd apply(Settings& settings, const std::vector<Switch>& switches)
{
    for (const Switch& s : switches) {
        ListEnd end = ListEnd::Done;
        if (s.letter == 'd' && s.arg == "all")
            deactivateAll(settings);
        else if (s.letter == 'd')
            end = deactivateChannels(settings, s.arg);
        else if (s.letter == 's')
            end = activateChannels(settings, s.arg);
        else if (s.arg == "all")
            end = mergeAll(settings) ? ListEnd::Done : ListEnd::Stopped;
        else
            end = mergeChannels(settings, s.arg);
        if (end != ListEnd::Done)
            return end;
    }
    return ListEnd::Done;
}

// The active channels and the merges the switches leave, how they end, and
// the codes they report.
TEST(ChannelSwitchesTest, SwitchesChangeTheChannelsAsListed)
{
    const struct {
        std::vector<Switch> switches;
        ListEnd end;
        std::string active; // channel 1 to 16: 1 converted, 0 not
        std::vector<int> intoOne; // sources merged into channel 1 (0-based)
        std::vector<Code> codes;
    } cases[] = {
        {{{'d', "2,3"}}, ListEnd::Done, "1001111111111111", {}, {}},
        {{{'d', "all"}, {'s', "16,1"}}, ListEnd::Done, "1000000000000001", {}, {}},
        {{{'d', "2,x"}}, ListEnd::Malformed, "1111111111111111", {}, {}},
        {{{'d', "2,17"}}, ListEnd::Stopped, "1011111111111111", {}, {Code::InvalidChannel}},
        {{{'d', "1"}, {'m', "1,2,3"}}, ListEnd::Done, "1111111111111111", {1, 2}, {}},
        {{{'m', "1,2"}, {'d', "1"}}, ListEnd::Done, "0111111111111111", {1}, {Code::MergeTargetDeactivated}},
        {{{'m', "1,2"}, {'d', "all"}}, ListEnd::Done, "0000000000000000", {1}, {Code::MergeTargetDeactivated}},
        {{{'m', "1"}}, ListEnd::Malformed, "1111111111111111", {}, {}},
        {{{'m', "1,"}}, ListEnd::Malformed, "1111111111111111", {}, {}},
        {{{'m', "1,1"}}, ListEnd::Stopped, "1111111111111111", {}, {Code::MergeIntoItself}},
        {{{'m', "1,2"}, {'m', "3,2"}}, ListEnd::Stopped, "1111111111111111", {1}, {Code::MergedTwice}},
        {{{'m', "3,4"}, {'m', "all"}}, ListEnd::Stopped, "1111111111111111", {}, {Code::MergedTwice}},
        {{{'d', "1"}, {'m', "all"}}, ListEnd::Done, "1111111111111111",
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, {}},
    };
    for (const auto& c : cases) {
        Settings settings;
        Message message(ConsoleSink{}, Level::Fatal);
        ListEnd end = ListEnd::Done;
        {
            MessageScope scope(message);
            end = apply(settings, c.switches);
        }
        const std::string label = c.switches.back().letter + std::string(" ") + c.switches.back().arg;
        EXPECT_EQ(end, c.end) << label;
        std::string active;
        for (bool on : settings.active)
            active += on ? '1' : '0';
        EXPECT_EQ(active, c.active) << label;
        EXPECT_EQ(settings.mergeList[0], c.intoOne) << label;
        EXPECT_EQ(message.diagnostics.codes(), c.codes) << label;
    }
}

} // namespace
