// End-to-end runs of the built converter on MIDI files written by the tests.
#include "support/MidiWriter.h"
#include "support/Run.h"
#include "support/TextMode.h"
#include "support/UsageText.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The converter and the sources, as absolute names of this platform (under
// Wine a build path gets its drive letter).
const std::string exe = fs::absolute(MIDI2VARN_EXE).string();
const fs::path sourceDir = fs::absolute(MIDI2VARN_SOURCE_DIR);

const std::string banner = "MIDI-to-VARN converter v2.1 - converts Standard MIDI to Varnholt Tune Format\n";

const std::string usage = expectedUsage("midi2varn");

// One macro block as written to the output.
std::string block(int channel, const std::string& tune)
{
    return "\"/playthis\"\n{\n  // Channel " + std::to_string(channel) + "\n  \"/use " + tune + "\\r\"\n}\n\n";
}

// Division 96; middle C, velocity 64, channel 1, from tick 0 to tick 96.
std::string oneNoteFile()
{
    midi::TrackBody track;
    track.noteOn(0, 0, 60, 64).noteOff(96, 0, 60, 64).endOfTrack(0);
    return midi::header(0, 1, 96) + track.chunk();
}

// Console lines of a run on oneNoteFile() up to the point where the output is opened.
std::string oneNoteConsoleBeforeOutput(const std::string& inputName)
{
    return "Output: Parsing \"" + inputName + "\"...\n"
           "Output: Current polyphony on channel 1: 1\n"
           "Output: Tempo 120\n"
           "Output: 1/1 tracks:\n"
           "Output: 1 channels.\n";
}

const std::string oneNoteTuneLines = "Output: VARN channel 1:\n%6C\nOutput: Macro version:\n";

// Type 1, division 96, two tracks. Tempo 100, and 120 again at beat 3.
// Channel 1: the chord c-e-g for a quarter, a quarter rest, then middle C.
// Channel 2: the low c for a quarter, then middle C for a quarter.
std::string twoChannelFile()
{
    midi::TrackBody first;
    first.tempo(0, 600000)
        .noteOn(0, 0, 60, 100)
        .noteOn(0, 0, 64, 100)
        .noteOn(0, 0, 67, 100)
        .noteOff(96, 0, 60)
        .noteOff(0, 0, 64)
        .noteOff(0, 0, 67)
        .tempo(96, 500000)
        .noteOn(0, 0, 60, 100)
        .noteOff(96, 0, 60)
        .endOfTrack(0);
    midi::TrackBody second;
    second.noteOn(0, 1, 48, 100)
        .noteOff(96, 1, 48)
        .noteOn(0, 1, 60, 100)
        .noteOff(96, 1, 60)
        .endOfTrack(0);
    return midi::header(1, 2, 96) + first.chunk() + second.chunk();
}

// A file name given as UTF-8, the way the program takes names on every platform.
fs::path named(const std::string& name)
{
    return fs::path(std::u8string(name.begin(), name.end()));
}

std::string utf8(const std::u8string& text)
{
    return std::string(text.begin(), text.end());
}

class DriverTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::random_device random;
        for (int attempt = 0; attempt < 100 && dir.empty(); ++attempt) {
            const fs::path candidate = fs::path(testing::TempDir()) / ("driver" + std::to_string(random()));
            if (fs::create_directory(candidate))
                dir = candidate;
        }
        ASSERT_FALSE(dir.empty());
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    // Runs the converter in the test's directory as "midi2varn ARGS...".
    RunResult run(std::vector<std::string> args, const std::string& stdoutPath = "",
                  const std::string& subDir = "")
    {
        args.insert(args.begin(), "midi2varn");
        return runProgram(exe, args, utf8((dir / named(subDir)).u8string()), stdoutPath);
    }

    void write(const std::string& name, const std::string& bytes)
    {
        const fs::path path = dir / named(name);
        fs::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary);
        out << bytes;
        ASSERT_TRUE(out.good()) << name;
    }

    std::string read(const std::string& name) const
    {
        std::ifstream in(dir / named(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::set<std::string> files() const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(dir))
            names.insert(utf8(fs::relative(entry.path(), dir).generic_u8string()));
        return names;
    }

    fs::path dir;
};

TEST_F(DriverTest, OneNoteFileGivesItsMacroBlock)
{
    write("one.mid", oneNoteFile());
    const RunResult r = run({"one.mid"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, textMode(banner + oneNoteConsoleBeforeOutput("one.mid") + oneNoteTuneLines));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read("one.txt"), textMode("\"/playthis\"\n{\n  // Channel 1\n  \"/use %6C\\r\"\n}\n\n"));
}

TEST_F(DriverTest, DashWritesTheMacroBetweenTheDiagnostics)
{
    write("two.mid", twoChannelFile());
    const RunResult r = run({"two.mid", "-"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, textMode(banner +
                              "Output: Parsing \"two.mid\"...\n"
                              "Output: Current polyphony on channel 1: 3\n"
                              "Output: Current polyphony on channel 2: 1\n"
                              "Output: Tempo 120\n"
                              "Output: 2/2 tracks:\n"
                              "Output: 2 channels.\n"
                              "Output: VARN channel 1:\n"
                              "@100[ce]Gp4@C\n"
                              "Output: Macro version:\n" +
                              block(1, "@100[ce]Gp4@C") +
                              "Output: VARN channel 2:\n"
                              "@100\\C=C@\n"
                              "Output: Macro version:\n" +
                              block(2, "@100\\C=C@")));
    EXPECT_EQ(files(), std::set<std::string>({"two.mid"}));
}

TEST_F(DriverTest, OptionsReachTheConversion)
{
    write("two.mid", twoChannelFile());
    RunResult r = run({"-d", "1", "two.mid"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, textMode(banner +
                              "Output: Deactivating channel 1.\n"
                              "Output: Parsing \"two.mid\"...\n"
                              "Output: Current polyphony on channel 2: 1\n"
                              "Output: Tempo 120\n"
                              "Output: 2/2 tracks:\n"
                              "Output: 1 channels.\n"
                              "Output: VARN channel 2:\n"
                              "@100\\C=C@\n"
                              "Output: Macro version:\n"));
    EXPECT_EQ(read("two.txt"), textMode(block(2, "@100\\C=C@")));

    // Transposed below the lowest note: written all the same, and reported.
    write("one.mid", oneNoteFile());
    r = run({"-t", "-13", "one.mid", "low.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, textMode(banner + "Output: Transposing input by -13.\n" + oneNoteConsoleBeforeOutput("one.mid") +
                              "Output: VARN channel 1:\n%6\\B\nOutput: Macro version:\n"
                              "ERROR:  Some notes were too low!\n"));
    EXPECT_EQ(read("low.txt"), textMode(block(1, "%6\\B")));
}

TEST_F(DriverTest, VerbosityZeroShowsOnlyItsOwnConfirmation)
{
    write("one.mid", oneNoteFile());
    const RunResult r = run({"-v", "0", "one.mid", "out.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, textMode(banner + "Output: Setting verbosity to \"FATAL\".\n"));
    EXPECT_EQ(read("out.txt"), textMode(block(1, "%6C")));
}

TEST_F(DriverTest, RefusedCommandLines)
{
    write("one.mid", oneNoteFile());
    struct Case {
        std::vector<std::string> args;
        std::string out;
    };
    const std::vector<Case> cases = {
        {{"-h"}, banner + usage},
        {{"-h", "one.mid"}, banner + usage},
        {{}, banner + usage},
        {{"one.mid", "a.txt", "b.txt"}, banner + usage},
        {{"-v", "10", "one.mid"}, banner + usage},
        {{"-d", "17", "one.mid"}, banner + "FATAL:  Invalid channel 17!\n"},
        {{"one.mid", "one.mid"}, banner + "FATAL:  Cannot write output to the input file \"one.mid\"! Aborting.\n"},
        {{"one.mid", "./one.mid"},
         banner + "FATAL:  Cannot write output to the input file \"./one.mid\"! Aborting.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const RunResult r = run(c.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, textMode(c.out));
        EXPECT_EQ(files(), std::set<std::string>({"one.mid"}));
        EXPECT_EQ(read("one.mid"), oneNoteFile());
    }

    const RunResult r = run({"-x", "one.mid"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, textMode(banner + usage));
    EXPECT_NE(r.err, ""); // the scanner's own complaint
}

TEST_F(DriverTest, InputNamedLikeItsDerivedOutputIsKept)
{
    write("tune.txt", oneNoteFile());
    const RunResult r = run({"tune.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, textMode(banner + "FATAL:  Cannot write output to the input file \"tune.txt\"! Aborting.\n"));
    EXPECT_EQ(read("tune.txt"), oneNoteFile());
}

TEST_F(DriverTest, UnreadableMidiFileLeavesOutputUntouched)
{
    write("out.txt", "keep me\n");
    write("bad.mid", "RIFF this is no MIDI file");
    struct Case {
        std::string input;
        std::string out;
    };
    const std::vector<Case> cases = {
        {"missing.mid", banner + "FATAL:  Could not open \"missing.mid\".\n"
                                 "FATAL:  Could not parse MIDI file.\n"},
        {"bad.mid", banner + "Output: Parsing \"bad.mid\"...\n"
                             "FATAL:  Not a MIDI File.\n"
                             "FATAL:  Could not parse MIDI file.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        const RunResult r = run({c.input, "out.txt"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, textMode(c.out));
        EXPECT_EQ(read("out.txt"), "keep me\n");
    }
    // Without an output name nothing is created either.
    EXPECT_EQ(run({"missing.mid"}).status, 1);
    EXPECT_EQ(files(), std::set<std::string>({"out.txt", "bad.mid"}));
}

TEST_F(DriverTest, SongWithoutNotesGivesEmptyOutputFile)
{
    midi::TrackBody track;
    track.endOfTrack(0);
    write("empty.mid", midi::header(0, 1, 96) + track.chunk());
    write("empty.txt", "old contents\n");
    const RunResult r = run({"empty.mid"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, textMode(banner +
                              "Output: Parsing \"empty.mid\"...\n"
                              "Output: Tempo 120\n"
                              "Output: 0/1 tracks:\n"
                              "Output: 0 channels.\n"));
    ASSERT_TRUE(fs::exists(dir / "empty.txt"));
    EXPECT_EQ(read("empty.txt"), "");
}

TEST_F(DriverTest, DerivedOutputNameLooksOnlyAtTheFileName)
{
    write("old.d/tune", oneNoteFile());
    write("work/keep", "");
    write("song", oneNoteFile());
    EXPECT_EQ(run({"old.d/tune"}).status, 0);
    EXPECT_EQ(run({"../song"}, "", "work").status, 0);
    EXPECT_EQ(files(), std::set<std::string>({"old.d", "old.d/tune", "old.d/tune.txt", "work", "work/keep", "song",
                                              "song.txt"}));
    EXPECT_EQ(read("old.d/tune.txt"), textMode(block(1, "%6C")));
    EXPECT_EQ(read("song.txt"), textMode(block(1, "%6C")));
}

TEST_F(DriverTest, OutputThatCannotBeOpened)
{
    write("one.mid", oneNoteFile());
    const RunResult r = run({"one.mid", "nodir/out.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, textMode(banner + oneNoteConsoleBeforeOutput("one.mid") +
                              "FATAL:  Could not open \"nodir/out.txt\".\n"));
}

TEST_F(DriverTest, WriteErrorsFailTheRun)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no device that is always full";
#endif
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    write("one.mid", oneNoteFile());
    RunResult r = run({"one.mid", "/dev/full"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, textMode(banner + oneNoteConsoleBeforeOutput("one.mid") + oneNoteTuneLines +
                              "FATAL:  Could not write \"/dev/full\".\n"));

    r = run({"one.mid", "-"}, "/dev/full");
    EXPECT_EQ(r.status, 1);
}

// An existing MIDI file named as the output is refused before the input is
// read, and stays as it was; any other file by that name is replaced, and
// "-" is never a file.
TEST_F(DriverTest, ExistingMidiFileIsNotOverwritten)
{
    const std::string riffSize = std::string("\x04\x00\x00\x00", 4);
    const std::string rmid = "RIFF" + riffSize + "RMID";
    const auto refusal = [](const std::string& name) {
        return "FATAL:  Output file \"" + name + "\" is a MIDI file; not overwriting it.\n";
    };
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string target;   // the file the output name means
        std::string existing; // its bytes before the run
        std::string refused;  // the console after the banner; "" when the file is replaced
    };
    const std::vector<Case> cases = {
        {"standard-midi-file", {"one.mid", "old.txt"}, "old.txt", oneNoteFile(), refusal("old.txt")},
        {"rmid", {"one.mid", "old.txt"}, "old.txt", rmid + "data", refusal("old.txt")},
        {"second-song-named", {"one.mid", "two.mid"}, "two.mid", oneNoteFile(), refusal("two.mid")},
        {"derived-name", {"one.mid"}, "one.txt", "MThd", refusal("one.txt")},
        {"before-the-input-is-read", {"missing.mid", "old.txt"}, "old.txt", oneNoteFile(), refusal("old.txt")},
        {"after-the-confirmations",
         {"-d", "2", "-v", "0", "one.mid", "old.txt"},
         "old.txt",
         oneNoteFile(),
         "Output: Deactivating channel 2.\nOutput: Setting verbosity to \"FATAL\".\n" + refusal("old.txt")},
        {"riff-of-another-form", {"one.mid", "old.txt"}, "old.txt", "RIFF" + riffSize + "WAVE", ""},
        {"rmid-cut-short", {"one.mid", "old.txt"}, "old.txt", rmid.substr(0, 11), ""},
        {"two-bytes", {"one.mid", "old.txt"}, "old.txt", "MT", ""},
        {"empty", {"one.mid", "old.txt"}, "old.txt", "", ""},
        {"lower-case", {"one.mid", "old.txt"}, "old.txt", "mthd", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir);
        fs::create_directory(dir);
        write("one.mid", oneNoteFile());
        write(c.target, c.existing);
        const auto before = files();
        const RunResult r = run(c.args);
        if (!c.refused.empty()) {
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.out, textMode(banner + c.refused));
            EXPECT_EQ(read(c.target), c.existing);
            EXPECT_EQ(files(), before);
        } else {
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(read(c.target), textMode(block(1, "%6C")));
        }
    }

    // A MIDI file called "-" stays: that name means standard output.
    write("-", oneNoteFile());
    const RunResult r = run({"one.mid", "-"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(textMode(block(1, "%6C"))), std::string::npos) << r.out;
    EXPECT_EQ(read("-"), oneNoteFile());
}

// An output file that cannot be read cannot be told apart; the run goes on
// and the file is opened for writing as always.
TEST_F(DriverTest, UnreadableOutputIsNotChecked)
{
    write("one.mid", oneNoteFile());
    write("old.txt", oneNoteFile());
#ifdef _WIN32
    // Held open without sharing, the file can be neither read nor written.
    const HANDLE held = CreateFileA((dir / "old.txt").string().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const RunResult r = run({"one.mid", "old.txt"});
    CloseHandle(held);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              textMode(banner + oneNoteConsoleBeforeOutput("one.mid") + "FATAL:  Could not open \"old.txt\".\n"));
    EXPECT_EQ(read("old.txt"), oneNoteFile());
#else
    if (geteuid() == 0)
        GTEST_SKIP() << "running as root, which may read any file: no output file can be made unreadable here";
    // Write-only: the check cannot read it, the conversion can write it.
    fs::permissions(dir / "old.txt", fs::perms::owner_write);
    const RunResult r = run({"one.mid", "old.txt"});
    fs::permissions(dir / "old.txt", fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("old.txt"), textMode(block(1, "%6C")));
#endif
}

// On Windows a file another program holds open, for reading and writing but
// not for deletion, opens but cannot be replaced: the run fails and leaves it
// as it was, with no temporary file.
TEST_F(DriverTest, OutputThatCannotBeReplacedIsKept)
{
#ifndef _WIN32
    GTEST_SKIP() << "POSIX replaces a file that is open elsewhere (OutputFileTest has the failures there)";
#else
    write("one.mid", oneNoteFile());
    write("old.txt", "old");
    const std::set<std::string> before = files();
    const HANDLE held = CreateFileA((dir / "old.txt").string().c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const RunResult r = run({"one.mid", "old.txt"});
    CloseHandle(held);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, textMode(banner + oneNoteConsoleBeforeOutput("one.mid") + oneNoteTuneLines +
                              "FATAL:  Could not write \"old.txt\".\n"));
    EXPECT_EQ(read("old.txt"), "old");
    EXPECT_EQ(files(), before);

    // Let go, it is replaced whole.
    EXPECT_EQ(run({"one.mid", "old.txt"}).status, 0);
    EXPECT_EQ(read("old.txt"), textMode(block(1, "%6C")));
    EXPECT_EQ(files(), before);
#endif
}

// The bundled example gives the bundled text, with the platform's line ends.
TEST_F(DriverTest, ExampleConvertsCleanly)
{
    const fs::path examples = sourceDir / "examples";
    const RunResult r = runProgram(
        exe, {"midi2varn", (examples / "example.mid").string(), (dir / "example.txt").string()}, dir.string());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("FATAL:"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("ERROR:"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("WARN:"), std::string::npos) << r.out;
    std::ifstream in(examples / "example.txt", std::ios::binary);
    const std::string expected{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_NE(expected, "");
    EXPECT_EQ(read("example.txt"), textMode(expected));
}

// Started by a full Windows path, the usage line names the program file alone.
TEST_F(DriverTest, UsageNamesTheProgramWithoutItsDirectory)
{
    const RunResult r = runProgram(exe, {"C:\\some\\dir\\midi2varn.exe", "-h"}, dir.string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, textMode(banner + expectedUsage("midi2varn.exe")));
}

} // namespace

namespace {

// Song names come in every script. They reach the program whole, the
// output beside the input gets the right name, and the console shows the
// name's UTF-8 bytes.
TEST_F(DriverTest, NamesInAnyScript)
{
    const struct {
        std::string input;
        std::string output; // empty: derived from the input
        std::string written;
    } cases[] = {
        {"千本桜.mid", "", "千本桜.txt"},
        {"Для Элизы.mid", "Мелодия.txt", "Мелодия.txt"},
        {"Für Elise – ça va.MID", "", "Für Elise – ça va.txt"},
        {"노래/아리랑.mid", "노래/아리랑 (2).txt", "노래/아리랑 (2).txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        write(c.input, oneNoteFile());
        std::vector<std::string> args{c.input};
        if (!c.output.empty())
            args.push_back(c.output);
        const RunResult r = run(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, textMode(banner + oneNoteConsoleBeforeOutput(c.input) + oneNoteTuneLines));
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(read(c.written), textMode(block(1, "%6C")));
    }

    // Writing over the input is refused by its name in any script.
    const RunResult same = run({"千本桜.mid", "千本桜.mid"});
    EXPECT_EQ(same.status, 1);
    EXPECT_NE(same.out.find("Cannot write output to the input file \"千本桜.mid\"! Aborting."), std::string::npos)
        << same.out;
    EXPECT_EQ(read("千本桜.mid"), oneNoteFile());

    // So is writing over another MIDI file.
    const RunResult midi = run({"千本桜.mid", "Для Элизы.mid"});
    EXPECT_EQ(midi.status, 1);
    EXPECT_NE(midi.out.find("Output file \"Для Элизы.mid\" is a MIDI file; not overwriting it."), std::string::npos)
        << midi.out;
    EXPECT_EQ(read("Для Элизы.mid"), oneNoteFile());
}

} // namespace
