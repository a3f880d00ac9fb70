#include "options/SwitchChanges.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A change of the given switches as typed, and its words: what it turns on
// or off, before what it does.
TEST(SwitchChangesTest, ChangesAndTheirWords)
{
    const struct {
        std::vector<std::string> given;
        unsigned bits;
        int players;
        const char* typed;
        const char* words;
    } cases[] = {
        {{}, 0, 0, "", "the switches as given"},
        {{"-k", "-p", "2"}, 1u | 2u, 0, "-p 2 -o", "- -k + -o: no change"},
        {{"-b", "9"}, splitBit, 0, "-b 5", "-b 5 instead of -b 9: played whole in 1 macro"},
        {{"-m", "1,2", "-e"}, drumsBit | bandBit, 3, "-e -d 10 -P 3", "- -m + -d 10 + -P 3: no change"},
        {{"-P", "2"}, bandBit, 4, "-P 4", "-P 4 instead of -P 2: no change"},
    };
    for (const auto& c : cases) {
        std::string errors;
        const auto given = scan(c.given, errors);
        ASSERT_TRUE(given) << errors;
        const Switches candidate = changed(*given, c.bits, c.players);
        EXPECT_EQ(joined(typedArguments(candidate)), c.typed) << c.bits;
        SongFidelity figures;
        figures.macros = 1;
        EXPECT_EQ(changeWords(*given, candidate, c.bits, figures, figures), c.words) << c.bits;
    }
    std::string errors;
    EXPECT_FALSE(scan({"-k", "song.mid"}, errors));
    EXPECT_EQ(errors, "varn2midi: \"song.mid\" is not a switch of the converter\n");
}

} // namespace
