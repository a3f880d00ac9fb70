// The preview program end to end: what it writes, says and returns.
#include "support/Run.h"
#include "support/TextMode.h"
#include "tune/Preview.h"
#include "tune/TuneReader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string exe = fs::absolute(VARN2MIDI_EXE).string();
const fs::path examples = fs::absolute(MIDI2VARN_SOURCE_DIR) / "examples";

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

class Varn2midiTest : public testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("varn2midi-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir);
        fs::copy_file(examples / "example.txt", dir / "example.txt");
        fs::copy_file(examples / "example.mid", dir / "example.mid");
        writeFile(dir / "empty.txt", "\r\n");
        writeFile(dir / "edited.txt", "\"/playthis\"\n{\n  // Channel 1\n  \"/use @100EEFG\\r\"\n}\n");
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    RunResult run(std::vector<std::string> args)
    {
        args.insert(args.begin(), "varn2midi");
        return runProgram(exe, args, dir.string());
    }

    fs::path dir;
};

TEST_F(Varn2midiTest, WritesThePreviewBesideTheInput)
{
    const RunResult r = run({"example.txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, textMode("Wrote \"example.preview.mid\": 2 tunes, 78 notes.\n"));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readFile(dir / "example.preview.mid"), makePreview(readTunes(readFile(dir / "example.txt"))).midi);
    EXPECT_EQ(readFile(dir / "example.mid"), readFile(examples / "example.mid"));

    // A name in any script gives its preview beside it.
    fs::copy_file(dir / "example.txt", dir / fs::path(u8"千本桜.txt"));
    const RunResult named = run({"千本桜.txt"});
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(named.out, textMode("Wrote \"千本桜.preview.mid\": 2 tunes, 78 notes.\n"));
    EXPECT_EQ(readFile(dir / fs::path(u8"千本桜.preview.mid")), readFile(dir / "example.preview.mid"));
}

TEST_F(Varn2midiTest, StatusAndMessages)
{
    const std::string example = readFile(dir / "example.txt");
    const struct {
        std::vector<std::string> args;
        int status;
        const char* out;  // a part of standard output
        const char* err;  // a part of standard error
    } cases[] = {
        {{"-h"}, 0, "Usage: varn2midi [-h] <INPUT.TXT> [OUTPUT.MID]", ""},
        {{}, 1, "", "varn2midi: no input file"},
        {{"-x", "example.txt"}, 1, "", "unknown option \"-x\""},
        {{"a.txt", "b.mid", "c"}, 1, "", "too many arguments"},
        {{"missing.txt"}, 1, "", "could not read \"missing.txt\""},
        {{"empty.txt"}, 1, "", "no tune in \"empty.txt\""},
        {{"example.txt", "example.txt"}, 1, "", "would overwrite the input"},
        {{"example.txt", "."}, 1, "", "could not write \".\""},
        {{"example.txt", "out.mid"}, 0, "Wrote \"out.mid\"", ""},
        {{"--against", "example.mid", "example.txt"}, 0,
         "channel 1: 30 notes in, 30 played; dropped 0, start 0, length 0, pitch 0, held-late 0, stuck 0, tempo 0, "
         "added 0, drum 0; largest drift 0; ends 9:1, MIDI 9:1 (0); 100% as written, 100% played\nchannel 2: 48 notes in",
         ""},
        {{"--against", "example.mid", "-p", "2@2", "example.txt"}, 0, "  1:1 dropped C3 (polyphony)\n",
         "\"example.txt\" differs from the conversion of \"example.mid\" (channel 2)"},
        {{"--against", "example.mid", "edited.txt"}, 0, "  1:1 dropped E4 (edited: not in the text)\n",
         "(channel 1, 2); the report is against \"edited.txt\""},
        {{"--against", "missing.mid", "example.txt"}, 1, "", "could not read \"missing.mid\""},
        {{"--against", "example.txt", "example.txt"}, 1, "", "could not convert \"example.txt\""},
        {{"--against", "example.mid", "-p", "x", "example.txt"}, 1, "", "switches after --against were refused"},
        {{"--against", "example.mid"}, 1, "", "--against needs a MIDI file and then the macro file"},
        {{"-h"}, 0, "--suggest <SONG.MID> [--players N] [CONVERTER OPTIONS]\n", ""},
        {{"--suggest", "example.mid", "-e"}, 0,
         "switches  as written  played  macros  parts  what changes\n"
         "(none)    100%        100%    1       1      - -e: no change\n"
         "-e        100%        100%    1       1      the switches as given\n"
         "\n",
         ""},
        {{"--suggest", "example.mid", "--players", "1", "-e"}, 0,
         "switches  as written  played  macros  parts  players  what changes\n"
         "-P 1      100%        100%    1       1      1        - -e + -P 1: no change\n"
         "-e -P 1   100%        100%    1       1      1        + -P 1: no change\n"
         "-P 1\n",
         ""},
        {{"--suggest", "example.mid", "--players", "17"}, 1, "", "--players needs a number of players from 1 to 16"},
        {{"--suggest"}, 1, "", "--suggest needs a MIDI file"},
        {{"--suggest", "missing.mid"}, 1, "", "could not read \"missing.mid\""},
        {{"--suggest", "example.txt"}, 1, "", "could not convert \"example.txt\""},
        {{"--suggest", "example.mid", "-p", "x"}, 1, "", "switches after --suggest were refused"},
    };
    for (const auto& c : cases) {
        const RunResult r = run(c.args);
        std::string line;
        for (const std::string& a : c.args)
            line += " " + a;
        EXPECT_EQ(r.status, c.status) << line << "\n" << r.err;
        EXPECT_NE(r.out.find(textMode(c.out)), std::string::npos) << line << "\n" << r.out;
        EXPECT_NE(r.err.find(textMode(c.err)), std::string::npos) << line << "\n" << r.err;
        EXPECT_EQ(readFile(dir / "example.txt"), example) << line;
    }
}

// The reader's issues reach standard error with the input's name, line and column.
TEST_F(Varn2midiTest, IssuesArePlaced)
{
    writeFile(dir / "typo.txt", "\"/playthis\"\n{\n  // Channel 1\n  \"/use CxC\\r\"\n}\n");
    const RunResult r = run({"typo.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, textMode("typo.txt:4:10: error: unexpected 'x' ignored\n"));
    EXPECT_TRUE(fs::exists(dir / "typo.preview.mid"));
}

} // namespace
