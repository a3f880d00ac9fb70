// Both programs replace an output file whole or not at all: a write that
// fails (a full disk, a folder that takes no new file, an output that is a
// folder) or a run that is interrupted leaves the old file byte for byte
// and no temporary file; a device or a link is written in place as before.
#include "support/MidiWriter.h"
#include "support/Run.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace midi;

namespace {

// Bytes no failed run may change: binary, with a zero byte and no final line end.
const std::string precious = std::string("keep\0me\xff\r\nintact", 16);
const fs::perms oldMode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;

// A song of `notes` notes on each of 16 channels: macro text of 16 long blocks.
std::string manyNotes(int notes)
{
    TrackBody body;
    for (int i = 0; i < notes; ++i)
        for (int ch = 0; ch < 16; ++ch) {
            body.noteOn(0, ch, 60 + (i + ch) % 12, 64);
            body.noteOff(48, ch, 60 + (i + ch) % 12);
        }
    return header(0, 1, 96) + body.endOfTrack(0).chunk();
}

// A macro text of one tune whose preview file is larger than 1 KB.
std::string longTune()
{
    std::string tune;
    for (int i = 0; i < 400; ++i)
        tune += "CDEFGAB"[i % 7];
    return "\"/playthis\"\n{\n  // Channel 1\n  \"/use @100" + tune + "\\r\"\n}\n";
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One of the two programs with its input and output names.
struct Program {
    const char* exe;
    const char* name;
    std::string input;  // the input file's name
    std::string output; // the output file's name
    std::string bytes;  // the input file's bytes
};

const Program midi2varn{MIDI2VARN_EXE, "midi2varn", "in.mid", "out.txt", manyNotes(100)};
const Program varn2midi{VARN2MIDI_EXE, "varn2midi", "in.txt", "out.mid", longTune()};

class OutputFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        // As root the programs run as user 65534, who must be able to reach them.
        if (geteuid() == 0)
            for (fs::path folder = fs::absolute(MIDI2VARN_EXE).parent_path();; folder = folder.parent_path()) {
                if ((fs::status(folder).permissions() & fs::perms::others_exec) == fs::perms::none)
                    GTEST_SKIP() << "the programs lie in " << folder
                                 << ", which other users cannot enter; run the tests from a folder they can";
                if (folder == folder.parent_path())
                    break;
            }
        std::string pattern = (fs::path(testing::TempDir()) / "outputXXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        work = dir / "work";
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::permissions(work, fs::perms::owner_all, ignored);
        fs::remove_all(dir, ignored);
    }

    // A fresh folder with the program's input and an old output; all of it
    // the child's own, as it runs without root's rights.
    void prepare(const Program& program)
    {
        fs::remove_all(work);
        fs::create_directories(work / "sub");
        ASSERT_TRUE(writeFile((work / program.input).string(), program.bytes));
        ASSERT_TRUE(writeFile((work / program.output).string(), precious));
        fs::permissions(work / program.output, oldMode);
        if (geteuid() == 0) {
            for (const fs::path& path : {dir, work, work / "sub", work / program.input, work / program.output})
                ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
        }
    }

    std::set<std::string> files() const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(work))
            names.insert(entry.path().filename().string());
        return names;
    }

    RunResult run(const Program& program, const std::string& output, ChildOptions options = {})
    {
        options.dropRoot = true;
        return runProgram(program.exe, {program.name, program.input, output}, work.string(), options);
    }

    fs::path dir;
    fs::path work;
};

// What a failed write says: on standard output for midi2varn, on standard
// error for varn2midi.
std::string failure(const Program& program, const char* midi2varnWords, const std::string& output)
{
    if (program.exe == midi2varn.exe)
        return "FATAL:  Could not " + std::string(midi2varnWords) + " \"" + output + "\".\n";
    return "varn2midi: could not write \"" + output + "\".\n";
}

struct WriteFailure {
    const char* name;
    long long fileSizeLimit;     // -1: none
    bool readOnlyFolder;
    const char* output;          // "" for the program's old output
    const char* midi2varnWords;  // "open" or "write"
};

TEST_F(OutputFileTest, FailedWritesKeepTheOldFileAndLeaveNoTemporaryFile)
{
    const std::vector<WriteFailure> cases = {
        {"disk-full", 1024, false, "", "write"},
        {"nothing-may-be-written", 0, false, "", "write"},
        {"read-only-folder", -1, true, "", "open"},
        {"output-is-a-folder", -1, false, "sub", "open"},
    };
    for (const Program& program : {midi2varn, varn2midi}) {
        for (const WriteFailure& c : cases) {
            SCOPED_TRACE(std::string(program.name) + " " + c.name);
            prepare(program);
            const std::set<std::string> before = files();
            const std::string output = *c.output ? c.output : program.output;
            if (c.readOnlyFolder)
                fs::permissions(work, fs::perms::owner_read | fs::perms::owner_exec);
            ChildOptions options;
            options.fileSizeLimit = c.fileSizeLimit;

            const RunResult r = run(program, output, options);
            fs::permissions(work, fs::perms::owner_all);
            EXPECT_EQ(r.status, 1);
            const std::string said = program.exe == midi2varn.exe ? r.out : r.err;
            const std::string expected = failure(program, c.midi2varnWords, output);
            ASSERT_GE(said.size(), expected.size()) << said;
            EXPECT_EQ(said.substr(said.size() - expected.size()), expected);
            EXPECT_TRUE(readFile(work / program.output) == precious) << "the old file changed";
            EXPECT_EQ(fs::status(work / program.output).permissions(), oldMode);
            EXPECT_TRUE(fs::is_directory(work / "sub") && fs::is_empty(work / "sub"));
            EXPECT_EQ(files(), before);
        }
    }
}

// A plain file is replaced with its permission bits; a link and a device
// are written through, in place, as before.
TEST_F(OutputFileTest, ReplacesPlainFilesAndWritesThroughLinksAndDevices)
{
    for (const Program& program : {midi2varn, varn2midi}) {
        SCOPED_TRACE(program.name);
        prepare(program);
        ASSERT_EQ(run(program, "fresh").status, 0);
        const std::string fresh = readFile(work / "fresh");
        ASSERT_GT(fresh.size(), 1024u);

        RunResult r = run(program, program.output);
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_EQ(readFile(work / program.output), fresh);
        EXPECT_EQ(fs::status(work / program.output).permissions(), oldMode);

        fs::rename(work / program.output, work / "target");
        fs::create_symlink("target", work / program.output);
        const std::set<std::string> before = files();
        r = run(program, program.output);
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_TRUE(fs::is_symlink(work / program.output));
        EXPECT_EQ(readFile(work / "target"), fresh);
        EXPECT_EQ(fs::status(work / "target").permissions(), oldMode);

        r = run(program, "/dev/null");
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_TRUE(fs::is_character_file("/dev/null"));
        EXPECT_EQ(files(), before);
    }
}

// A temporary file of the same output left by an earlier run goes; one
// younger than the run, or not of this form, stays.
TEST_F(OutputFileTest, StaleTemporaryFilesOfTheOutputAreRemoved)
{
    prepare(midi2varn);
    const auto now = fs::file_time_type::clock::now();
    const struct {
        std::string name;
        fs::file_time_type written;
        bool stays;
    } cases[] = {
        {"out.txt.midi2varn-4242.partial", now - std::chrono::hours(1), false},
        {"out.txt.midi2varn-4243.partial", now + std::chrono::hours(1), true},
        {"out.txt.midi2varn-42x.partial", now - std::chrono::hours(1), true},
        {"other.txt.midi2varn-4242.partial", now - std::chrono::hours(1), true},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(writeFile((work / c.name).string(), precious));
        fs::last_write_time(work / c.name, c.written);
    }
    const RunResult r = run(midi2varn, "out.txt");
    EXPECT_EQ(r.status, 0) << r.out;
    for (const auto& c : cases)
        EXPECT_EQ(fs::exists(work / c.name), c.stays) << c.name;
}

// Interrupted while it writes (held up by a full pipe on standard output),
// the run ends by its signal as before and takes only its temporary file.
TEST_F(OutputFileTest, InterruptedRunsKeepTheOldFile)
{
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        Program big = midi2varn;
        big.bytes = manyNotes(3000);
        prepare(big);
        const std::set<std::string> before = files();
        bool seen = false;
        ChildOptions options;
        options.started = [&](int pid) {
            // The standard output is not read yet: the child stops once the pipe is full.
            for (int i = 0; i < 2000 && !seen; ++i) {
                for (const std::string& name : files())
                    seen = seen || name.find(".partial") != std::string::npos;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            kill(pid, signal);
        };
        const RunResult r = run(big, big.output, options);
        EXPECT_TRUE(seen);
        EXPECT_EQ(r.status, 128 + signal);
        EXPECT_TRUE(readFile(work / big.output) == precious) << "the old file changed";
        EXPECT_EQ(files(), before);
    }
}

} // namespace
