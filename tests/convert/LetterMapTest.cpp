// Letters of a written text found in the text the player edited.
#include "convert/LetterMap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(LetterMapTest, LettersAroundTheEdit)
{
    constexpr int none = -1;
    const struct {
        const char* written;
        const char* played;
        std::vector<int> at; // per written letter: its offset in the played text, or none
    } cases[] = {
        {"CDE", "CDE", {0, 1, 2}},
        {"CDE", "CxDE", {0, 2, 3}},        // an insertion moves what follows
        {"CDE", "CE", {0, none, 1}},       // a removal loses the letter
        {"CDE", "CFE", {0, none, 2}},      // a change too
        {"CDE", "", {none, none, none}},
        {"CCC", "CC", {0, 1, none}},       // of equal letters, the first ones are kept
        {"CDEDC", "CDC", {0, 1, none, none, 2}},
    };
    for (const auto& c : cases) {
        const LetterMap map(c.written, c.played);
        const std::string written = c.written;
        for (std::size_t i = 0; i < written.size(); ++i) {
            std::size_t played = 12345;
            const bool found = map.map(i, played);
            EXPECT_EQ(found ? static_cast<int>(played) : none, c.at[i]) << c.written << " -> " << c.played << " @" << i;
        }
        std::size_t played = 0;
        EXPECT_FALSE(map.map(written.size(), played)) << c.written;
    }
}

} // namespace
