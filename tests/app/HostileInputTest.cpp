// Hostile command lines and files, run through the built program: each ends
// with its message and exit status, a failed run leaves an existing output
// file exactly as it was, and no run writes anything but the named output.
#include "support/MidiWriter.h"
#include "support/Run.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace midi;

namespace {

const std::string usageEnd = "  -v N            set verbosity level to N (0..9, default==4)\n";
const std::string notParsed = "FATAL:  Could not parse MIDI file.\n";

// Bytes no run may change: binary, with a zero byte and no final line end.
const std::string precious = std::string("keep\0me\xff\r\nintact", 16);

std::string oneNote()
{
    return header(0, 1, 96) + TrackBody().noteOn(0, 0, 60, 64).noteOff(96, 0, 60).endOfTrack(0).chunk();
}

class HostileInputTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::path(testing::TempDir()) / "hostileXXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        fs::create_directories(dir / "work");
        fs::create_directories(dir / "tmp");
        // Anything the program might put in a temporary directory lands here.
        const char* old = getenv("TMPDIR");
        oldTmp = old != nullptr ? old : "";
        hadTmp = old != nullptr;
        setenv("TMPDIR", (dir / "tmp").c_str(), 1);
    }

    void TearDown() override
    {
        if (hadTmp)
            setenv("TMPDIR", oldTmp.c_str(), 1);
        else
            unsetenv("TMPDIR");
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    void write(const std::string& name, const std::string& bytes)
    {
        ASSERT_TRUE(writeFile((dir / "work" / name).string(), bytes));
    }

    std::string read(const std::string& name) const
    {
        std::ifstream in(dir / "work" / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Everything below the test's directory, temporary directory included.
    std::set<std::string> files() const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(dir))
            names.insert(fs::relative(entry.path(), dir).string());
        return names;
    }

    RunResult run(std::vector<std::string> args)
    {
        args.insert(args.begin(), "midi2varn");
        return runProgram(MIDI2VARN_EXE, args, (dir / "work").string());
    }

    fs::path dir;
    std::string oldTmp;
    bool hadTmp = false;
};

struct Refusal {
    const char* name;
    std::vector<std::string> args; // the output is always out.txt when named
    std::string input;             // bytes of in.mid
    std::string tail;              // how the console output ends
};

TEST_F(HostileInputTest, RefusedRunsLeaveTheOutputUntouched)
{
    const std::string longName = std::string(300, 'a') + ".mid";
    const std::vector<Refusal> cases = {
        {"source-merged-twice", {"-m", "1,2", "-m", "3,2", "in.mid", "out.txt"}, oneNote(),
         "FATAL:  Channel 2 is already being merged!\n"},
        {"merge-into-itself", {"-m", "4,4", "in.mid", "out.txt"}, oneNote(),
         "FATAL:  Cannot merge channel 4 into itself!\n"},
        {"merge-all-after-merge", {"-m", "3,5", "-m", "all", "in.mid", "out.txt"}, oneNote(),
         "FATAL:  Channel 3 is already being merged!\n"},
        {"long-chords-polyphony-1", {"-l", "-p", "1", "in.mid", "out.txt"}, oneNote(),
         "FATAL:  Cannot use long chords without polyphony! Aborting.\n"},
        {"polyphony-channel-17", {"-p", "17@2", "in.mid", "out.txt"}, oneNote(), "FATAL:  Invalid channel 17!\n"},
        {"polyphony-overflow", {"-p", "99999999999", "in.mid", "out.txt"}, oneNote(), usageEnd},
        {"polyphony-negative", {"-p", "-1", "in.mid", "out.txt"}, oneNote(), usageEnd},
        {"polyphony-twice-at", {"-p", "2@3@4", "in.mid", "out.txt"}, oneNote(), usageEnd},
        {"transpose-overflow", {"-t", "-99999999999", "in.mid", "out.txt"}, oneNote(), usageEnd},
        {"select-channel-0", {"-s", "0", "in.mid", "out.txt"}, oneNote(), "FATAL:  Invalid channel 0!\n"},
        {"disable-letters", {"-d", "1;rm", "in.mid", "out.txt"}, oneNote(), usageEnd},
        {"verbosity-blank", {"-v", "5 ", "in.mid", "out.txt"}, oneNote(), usageEnd},
        {"three-names", {"in.mid", "out.txt", "x"}, oneNote(), usageEnd},
        {"missing-input", {"none.mid", "out.txt"}, oneNote(),
         "FATAL:  Could not open \"none.mid\".\n" + notParsed},
        {"input-name-too-long", {longName, "out.txt"}, oneNote(),
         "FATAL:  Could not open \"" + longName + "\".\n" + notParsed},
        {"input-is-a-directory", {".", "out.txt"}, oneNote(), "FATAL:  Not a MIDI File.\n" + notParsed},
        {"empty-file", {"in.mid", "out.txt"}, "", "FATAL:  Not a MIDI File.\n" + notParsed},
        {"header-cut-short", {"in.mid", "out.txt"}, oneNote().substr(0, 11), "FATAL:  Not a MIDI File.\n" + notParsed},
        {"header-length-7", {"in.mid", "out.txt"}, "MThd" + be32(7) + be16(0) + be16(1) + be16(96) + bytes({0}),
         "FATAL:  Not a MIDI File.\n" + notParsed},
        {"division-0", {"in.mid", "out.txt"}, header(0, 1, 0) + chunk(""),
         "FATAL:  Invalid time division 0!\n" + notParsed},
        {"smpte-0-ticks", {"in.mid", "out.txt"}, header(0, 1, 0xE700) + chunk(""),
         "FATAL:  Invalid time division 0!\n" + notParsed},
        {"output-is-the-input-by-link", {"in.mid", "link.mid"}, oneNote(),
         "FATAL:  Cannot write output to the input file \"link.mid\"! Aborting.\n"},
        {"output-is-a-directory", {"in.mid", "sub"}, oneNote(), "FATAL:  Could not open \"sub\".\n"},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir / "work");
        fs::create_directories(dir / "work" / "sub");
        write("in.mid", c.input);
        write("out.txt", precious);
        fs::create_symlink("in.mid", dir / "work" / "link.mid");
        const auto before = files();

        const RunResult r = run(c.args);
        EXPECT_EQ(r.status, 1);
        ASSERT_GE(r.out.size(), c.tail.size());
        EXPECT_EQ(r.out.substr(r.out.size() - c.tail.size()), c.tail);
        EXPECT_EQ(read("out.txt"), precious);
        EXPECT_EQ(read("in.mid"), c.input);
        EXPECT_EQ(files(), before);
    }
}

TEST_F(HostileInputTest, MissingOptionArgumentIsRefusedByTheScanner)
{
    write("out.txt", precious);
    const RunResult r = run({"-v"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err, "");
    EXPECT_EQ(r.out.substr(r.out.size() - usageEnd.size()), usageEnd);
    EXPECT_EQ(read("out.txt"), precious);
}

struct Conversion {
    const char* name;
    std::vector<std::string> args;
    std::string input;
    std::set<std::string> created; // files the run may add to work/
};

TEST_F(HostileInputTest, ConversionsWriteOnlyTheNamedOutput)
{
    std::string manyTracks = header(1, 65535, 96);
    for (int i = 0; i < 40; ++i)
        manyTracks += oneNote().substr(14);
    const std::string garbageAfter = oneNote() + std::string(500, '\xF7') + "MTrk";
    const std::string wrongChunk =
        header(1, 3, 96) + "MTRK" + be32(4) + bytes({0, 0xFF, 0x2F, 0}) + chunk(bytes({0, 0x90, 0x3C}));

    const std::vector<Conversion> cases = {
        {"named", {"in.mid", "out.txt"}, oneNote(), {}},
        {"derived", {"in.mid"}, oneNote(), {"work/in.txt"}},
        {"stdout", {"in.mid", "-"}, oneNote(), {}},
        {"in-subdirectory", {"in.mid", "sub/new.txt"}, oneNote(), {"work/sub/new.txt"}},
        {"many-tracks", {"in.mid", "out.txt"}, manyTracks, {}},
        {"garbage-after-tracks", {"-e", "in.mid", "out.txt"}, garbageAfter, {}},
        {"wrong-chunk-id", {"in.mid", "out.txt"}, wrongChunk, {}},
        {"channel-number-overflow", {"-d", "2147483648", "in.mid", "out.txt"}, oneNote(), {}},
        {"all-disabled", {"-d", "all", "in.mid", "out.txt"}, oneNote(), {}},
    };
    for (const Conversion& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir / "work");
        fs::create_directories(dir / "work" / "sub");
        write("in.mid", c.input);
        write("out.txt", precious);
        auto expected = files();
        expected.insert(c.created.begin(), c.created.end());

        const RunResult r = run(c.args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(read("in.mid"), c.input);
        EXPECT_EQ(files(), expected);
        const bool namesOut = std::find(c.args.begin(), c.args.end(), "out.txt") != c.args.end();
        if (!namesOut) {
            EXPECT_EQ(read("out.txt"), precious);
        }
    }
}

} // namespace
