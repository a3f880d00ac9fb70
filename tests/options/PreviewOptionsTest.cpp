// varn2midi's command line: the preview's name, and --against with the
// converter's own switches.
#include "options/PreviewOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(PreviewOptionsTest, NamesAndAgainst)
{
    const struct {
        std::vector<std::string> args;
        bool proceed;
        const char* input;
        const char* output;
        bool against;
    } cases[] = {
        {{"varn2midi", "song.txt"}, true, "song.txt", "song.preview.mid", false},
        {{"varn2midi", "dir.v1/song"}, true, "dir.v1/song", "dir.v1/song.preview.mid", false},
        {{"varn2midi", "C:\\Music\\Song.TXT"}, true, "C:\\Music\\Song.TXT", "C:\\Music\\Song.preview.mid", false},
        {{"varn2midi", ".txt"}, true, ".txt", ".txt.preview.mid", false},
        {{"varn2midi", "--", "-odd.txt", "x.mid"}, true, "-odd.txt", "x.mid", false},
        {{"varn2midi", "a.txt", "a.txt"}, false, "", "", false},
        {{"varn2midi", "-v", "a.txt"}, false, "", "", false},
        {{"varn2midi", "--against", "s.mid", "-k", "-l", "-p", "3", "in.txt"}, true, "in.txt", "", true},
        {{"varn2midi", "--against", "s.mid", "-l", "-p", "1", "in.txt"}, false, "", "", true},
    };
    for (const auto& c : cases) {
        const PreviewCommandLine line = parsePreviewOptions(c.args);
        EXPECT_EQ(line.proceed, c.proceed) << c.args[1];
        if (!c.proceed)
            continue;
        EXPECT_EQ(line.inputName, c.input) << c.args[1];
        EXPECT_EQ(line.outputName, c.output) << c.args[1];
        EXPECT_EQ(line.against, c.against) << c.args[1];
    }
    const PreviewCommandLine against = parsePreviewOptions(cases[7].args);
    EXPECT_EQ(against.songName, "s.mid");
    EXPECT_TRUE(against.settings.keepInStep);
    EXPECT_TRUE(against.settings.longChords);
    EXPECT_EQ(against.settings.polyphony[0], 3);
}

} // namespace
