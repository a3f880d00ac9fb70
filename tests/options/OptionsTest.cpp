#include "options/Options.h"

#include "arrange/Song.h"
#include "core/Message.h"
#include "support/Capture.h"
#include "support/UsageText.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

const std::string usage = usageText("conv");

class OptionsTest : public testing::Test {
protected:
    void SetUp() override { setVerbosity(4); }
    void TearDown() override
    {
        setVerbosity(4);
        Options::_argc = 0;
        Options::_argv = nullptr;
    }

    // Runs parseOptions on "conv" followed by `args`; returns its result and
    // keeps what it printed on stdout and stderr.
    bool parse(std::vector<std::string> args, const std::string& program = "conv")
    {
        args.insert(args.begin(), program);
        storage_ = args;
        pointers_.clear();
        for (auto& arg : storage_)
            pointers_.push_back(arg.data());
        pointers_.push_back(nullptr);
        Options::_argc = static_cast<int>(storage_.size());
        Options::_argv = pointers_.data();
        optind = 0; // full reset of glibc's scanner

        testing::internal::CaptureStderr();
        StdoutCapture capture;
        const bool ok = options.parseOptions(song.get());
        out = capture.take();
        err = testing::internal::GetCapturedStderr();
        return ok;
    }

    // Starts a new run: default song settings and empty names.
    void fresh()
    {
        song = std::make_unique<Song>();
        options = Options();
    }

    std::unique_ptr<Song> song = std::make_unique<Song>();
    Options options;
    std::string out;
    std::string err;

private:
    std::vector<std::string> storage_;
    std::vector<char*> pointers_;
};

struct Case {
    std::vector<std::string> args;
    int verbosity;
    bool ok;
    std::string output;
};

// Every option's confirmation or refusal, exactly as printed.
TEST_F(OptionsTest, MessagesOfEachOption)
{
    const std::string f = "FATAL:  ";
    const std::string o = "Output: ";
    const std::string n = "Notice: ";
    const std::vector<Case> cases = {
        {{"-a", "in.mid"}, 4, true, o + "Auto-transposing enabled.\n"},
        {{"-e", "in.mid"}, 4, true, o + "Eliminating all but one instance of identical notes.\n"},
        {{"-l", "in.mid"}, 4, true, o + "Enabling [...]$.\n"},
        {{"-n", "in.mid"}, 4, true, o + "Triplet detection disabled.\n"},
        {{"-u", "in.mid"}, 4, true, o + "Enabling /b#.\n"},
        {{"-t", "-12", "in.mid"}, 4, true, o + "Transposing input by -12.\n"},
        {{"-t", " +7", "in.mid"}, 4, true, o + "Transposing input by 7.\n"},
        {{"-ae", "in.mid"}, 4, true,
         o + "Auto-transposing enabled.\n" + o + "Eliminating all but one instance of identical notes.\n"},
        {{"-d3,4", "in.mid"}, 4, true, o + "Deactivating channel 3.\n" + o + "Deactivating channel 4.\n"},
        {{"-d", "all", "in.mid"}, 4, true, o + "Deactivating all channels.\n"},
        {{"-d", "2", "-d", "2", "in.mid"}, 6, true,
         o + "Deactivating channel 2.\n" + n + "Deactivating already disabled channel 2.\n"},
        {{"-d", "2", "-d", "2", "in.mid"}, 4, true, o + "Deactivating channel 2.\n"},
        {{"-d", "1,,4", "in.mid"}, 4, true, o + "Deactivating channel 1.\n"},
        {{"-d", "", "in.mid"}, 4, true, ""},
        {{"-s", "3", "in.mid"}, 6, true, n + "Activating already active channel 3.\n"},
        {{"-s", "3", "in.mid"}, 4, true, ""},
        {{"-d", "all", "-s", "2,5", "in.mid"}, 4, true,
         o + "Deactivating all channels.\n" + o + "Activating channel 2.\n" + o + "Activating channel 5.\n"},
        {{"-m", "1,2", "in.mid"}, 4, true, o + "Merging channel 2 into channel 1.\n"},
        {{"-d", "3", "-m", "1,2,3", "in.mid"}, 4, true,
         o + "Deactivating channel 3.\n" + o + "Merging channels 2,(3) into channel 1.\n"},
        {{"-d", "all", "-m", "2,3", "in.mid"}, 4, true,
         o + "Deactivating all channels.\n" + o + "Reactivating channel 2 as merge target.\n" + o +
             "Merging channel (3) into channel 2.\n"},
        {{"-m", "all", "in.mid"}, 4, true, o + "Merging all channels into channel 1.\n"},
        {{"-d", "1", "-m", "all", "in.mid"}, 4, true,
         o + "Deactivating channel 1.\n" + o + "Reactivating channel 1 as merge target.\n" + o +
             "Merging all channels into channel 1.\n"},
        {{"-m", "1,2", "-d", "1", "in.mid"}, 4, true,
         o + "Merging channel 2 into channel 1.\n" + o + "Deactivating channel 1.\n" +
             "WARN:   Deactivating merge target 1...\n"},
        {{"-m", "5,6", "-d", "all", "in.mid"}, 4, true,
         o + "Merging channel 6 into channel 5.\n" + "WARN:   Deactivating merge target 5...\n" + o +
             "Deactivating all channels.\n"},
        {{"-p", "0", "in.mid"}, 4, true, o + "Setting polyphony of all channels to unlimited.\n"},
        {{"-p", "3@2", "in.mid"}, 4, true, o + "Setting polyphony of channel 3 to 2.\n"},
        {{"-p", "3@0", "in.mid"}, 4, true, o + "Setting polyphony of channel 3 to unlimited.\n"},
        {{"-v", "7", "in.mid"}, 4, true, o + "Setting verbosity to \"Debug\".\n"},
        {{"-v", " 9", "in.mid"}, 4, true, o + "Setting verbosity to \"All\".\n"},
        {{"-v", "0", "-v", "5", "in.mid"}, 4, true, o + "Setting verbosity to \"FATAL\".\n"},
        {{"-v", "0", "-a", "-v", "5", "-a", "in.mid"}, 4, true,
         o + "Setting verbosity to \"FATAL\".\n" + o + "Auto-transposing enabled.\n"},
        {{"-v", "3", "in.mid"}, 0, true, ""},
        {{"-v", "3", "in.mid"}, 1, true, o + "Setting verbosity to \"WARN\".\n"},
        // Refusals with a message of their own and no usage text.
        {{"-d", "17", "in.mid"}, 4, false, f + "Invalid channel 17!\n"},
        {{"-d", "2,0", "in.mid"}, 4, false, o + "Deactivating channel 2.\n" + f + "Invalid channel 0!\n"},
        {{"-s", "16,17", "in.mid"}, 4, false, f + "Invalid channel 17!\n"},
        {{"-m", "17,2", "in.mid"}, 4, false, f + "Invalid channel 17!\n"},
        {{"-p", "17@2", "in.mid"}, 4, false, f + "Invalid channel 17!\n"},
        {{"-p", "0@2", "in.mid"}, 4, false, f + "Invalid channel 0!\n"},
        {{"-m", "4,4", "in.mid"}, 4, false, f + "Cannot merge channel 4 into itself!\n"},
        {{"-m", "1,2", "-m", "3,2", "in.mid"}, 4, false,
         o + "Merging channel 2 into channel 1.\n" + f + "Channel 2 is already being merged!\n"},
        {{"-m", "1,2", "-m", "1,3", "in.mid"}, 4, false,
         o + "Merging channel 2 into channel 1.\n" + f + "Channel 1 is already being merged!\n"},
        {{"-m", "1,2", "-m", "2,3", "in.mid"}, 4, false,
         o + "Merging channel 2 into channel 1.\n" + f + "Channel 2 is already being merged!\n"},
        {{"-m", "1,2,2", "in.mid"}, 4, false, f + "Channel 2 is already being merged!\n"},
        {{"-m", "3,4", "-m", "all", "in.mid"}, 4, false,
         o + "Merging channel 4 into channel 3.\n" + f + "Channel 3 is already being merged!\n"},
        {{"-m", "all", "-m", "3,4", "in.mid"}, 4, false,
         o + "Merging all channels into channel 1.\n" + f + "Channel 3 is already being merged!\n"},
        {{"-l", "-p", "1", "in.mid"}, 4, false,
         o + "Enabling [...]$.\n" + o + "Setting polyphony of all channels to 1.\n" + f +
             "Cannot use long chords without polyphony! Aborting.\n"},
        {{"-p", "4@1", "-l", "in.mid"}, 4, false,
         o + "Setting polyphony of channel 4 to 1.\n" + o + "Enabling [...]$.\n" + f +
             "Cannot use long chords without polyphony! Aborting.\n"},
        {{"-l", "-p", "1", "-d", "all", "-s", "2", "-p", "2@0", "in.mid"}, 0, true, ""},
        {{"-l", "-p", "1", "-p", "2", "in.mid"}, 0, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args) + " at level " + std::to_string(c.verbosity));
        fresh();
        setVerbosity(c.verbosity);
        EXPECT_EQ(parse(c.args), c.ok);
        EXPECT_EQ(out, c.output);
        EXPECT_EQ(err, "");
    }
}

// Arguments the option cannot use: the usage text, and nothing else.
TEST_F(OptionsTest, MalformedArgumentsPrintUsage)
{
    const std::vector<std::vector<std::string>> cases = {
        {"-h"},
        {"-h", "in.mid"},
        {"-d", "1;2", "in.mid"},
        {"-d", "-1", "in.mid"},
        {"-d", "All", "in.mid"},
        {"-s", "all", "in.mid"},
        {"-s", "2 ", "in.mid"},
        {"-m", "1", "in.mid"},
        {"-m", "1,", "in.mid"},
        {"-m", ",2", "in.mid"},
        {"-m", "1,,2", "in.mid"},
        {"-m", "1;2", "in.mid"},
        {"-p", "2@", "in.mid"},
        {"-p", "@2", "in.mid"},
        {"-p", "2@3@4", "in.mid"},
        {"-p", "", "in.mid"},
        {"-p", "-1", "in.mid"},
        {"-p", "99999999999", "in.mid"},
        {"-p", "2@99999999999", "in.mid"},
        {"-t", "3.5", "in.mid"},
        {"-t", "", "in.mid"},
        {"-t", "2 ", "in.mid"},
        {"-t", "99999999999", "in.mid"},
        {"-v", "10", "in.mid"},
        {"-v", "-1", "in.mid"},
        {"-v", "5x", "in.mid"},
        {"-v", "5 ", "in.mid"},
        {},
        {"-a"},
        {"in.mid", "out.txt", "-e"},
        {"a.mid", "b.txt", "c.txt"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(testing::PrintToString(args));
        fresh();
        setVerbosity(0); // the usage text is shown whatever the level
        EXPECT_FALSE(parse(args));
        EXPECT_EQ(out, usage);
        EXPECT_EQ(err, "");
    }
}

// The scanner complains on stderr in its own words; then the usage text.
TEST_F(OptionsTest, UnknownOptionAndMissingArgument)
{
    for (const auto& args : std::vector<std::vector<std::string>>{{"-x", "in.mid"}, {"-d"}, {"-ax", "in.mid"}}) {
        SCOPED_TRACE(testing::PrintToString(args));
        EXPECT_FALSE(parse(args));
        EXPECT_NE(err, "");
        if (args[0] == "-ax")
            EXPECT_EQ(out, "Output: Auto-transposing enabled.\n" + usage);
        else
            EXPECT_EQ(out, usage);
    }
}

TEST_F(OptionsTest, ProgramNameInUsage)
{
    EXPECT_FALSE(parse({"-h"}, "C:\\tools\\conv.exe"));
    EXPECT_EQ(out, usageText("conv.exe"));
    EXPECT_STREQ(Options::_argv[0], "conv.exe");

    // Only the backslash separates: a forward-slash path is shown whole.
    EXPECT_FALSE(parse({"-h"}, "/usr/bin/conv"));
    EXPECT_EQ(out, usageText("/usr/bin/conv"));

    EXPECT_FALSE(parse({"-h"}, "dir\\"));
    EXPECT_EQ(out, usageText(""));
}

TEST_F(OptionsTest, NoArgumentsAtAll)
{
    char* none[] = {nullptr};
    Options::_argc = 0;
    Options::_argv = none;
    optind = 0;
    StdoutCapture capture;
    EXPECT_FALSE(options.parseOptions(song.get()));
    EXPECT_EQ(capture.take(), usageText(""));
    EXPECT_EQ(options.inputName, "");
}

TEST_F(OptionsTest, SettingsWrittenIntoSong)
{
    ASSERT_TRUE(parse({"-a", "-e", "-l", "-n", "-u", "-t", "5", "-t", "-3", "-p", "2", "-p", "7@0", "-d",
                       "all", "-s", "2,7,9", "-m", "9,10,11", "in.mid"}));
    EXPECT_TRUE(song->autoTranspose);
    EXPECT_TRUE(song->eliminateIdentical);
    EXPECT_TRUE(song->longChords);
    EXPECT_FALSE(song->triplets);
    EXPECT_TRUE(song->upperC);
    EXPECT_EQ(song->transpose, -3);
    for (int ch = 0; ch < 16; ++ch) {
        SCOPED_TRACE(ch);
        EXPECT_EQ(song->polyphony[ch], ch == 6 ? 0 : 2);
        EXPECT_EQ(song->active[ch], ch == 1 || ch == 6 || ch == 8);
        EXPECT_EQ(song->mergeList[ch], ch == 8 ? std::vector<int>({9, 10}) : std::vector<int>());
    }
    EXPECT_EQ(options.inputName, "in.mid");
    EXPECT_EQ(options.outputName, "in.txt");
}

TEST_F(OptionsTest, ParsingStartsWithAllChannelsActive)
{
    song->active.fill(false);
    ASSERT_TRUE(parse({"-d", "1,,4", "in.mid"}));
    for (int ch = 0; ch < 16; ++ch)
        EXPECT_EQ(song->active[ch], ch != 0) << ch;
}

TEST_F(OptionsTest, MergeAllListsEveryOtherChannel)
{
    ASSERT_TRUE(parse({"-d", "all", "-m", "all", "in.mid"}));
    EXPECT_EQ(song->mergeList[0], std::vector<int>({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
    EXPECT_TRUE(song->active[0]);
    EXPECT_FALSE(song->active[1]);
}

TEST_F(OptionsTest, VerbosityTakesEffect)
{
    ASSERT_TRUE(parse({"-v", "8", "in.mid"}));
    EXPECT_EQ(Message::instance()->msgLevel, 8);
    ASSERT_TRUE(parse({"-v", "0", "-s", "3", "in.mid"}));
    EXPECT_EQ(Message::instance()->msgLevel, 0);
    EXPECT_EQ(out, "Output: Setting verbosity to \"FATAL\".\n");
}

TEST_F(OptionsTest, FileNames)
{
    struct Names {
        std::vector<std::string> args;
        std::string input;
        std::string output;
    };
    const std::vector<Names> cases = {
        {{"song.mid"}, "song.mid", "song.txt"},
        {{"Demo.V2.MID"}, "Demo.V2.MID", "Demo.V2.txt"},
        {{"song."}, "song.", "song.txt"},
        {{"song"}, "song", "song.txt"},
        {{".mid"}, ".mid", ".mid.txt"},
        {{"../song"}, "../song", "../song.txt"},
        {{"old.d/tune"}, "old.d/tune", "old.d/tune.txt"},
        {{"old.d\\tune"}, "old.d\\tune", "old.d\\tune.txt"},
        {{"dir/.hidden"}, "dir/.hidden", "dir/.hidden.txt"},
        {{"a.b/c.d.mid"}, "a.b/c.d.mid", "a.b/c.d.txt"},
        {{"in.mid", "-"}, "in.mid", "-"},
        {{"in.mid", "out"}, "in.mid", "out"},
        {{"-", "-"}, "-", "-"},
        {{"--", "-a.mid"}, "-a.mid", "-a.txt"},
        {{"in.mid", "-e"}, "in.mid", "-e"},
    };
    for (const Names& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        fresh();
        EXPECT_TRUE(parse(c.args));
        EXPECT_EQ(options.inputName, c.input);
        EXPECT_EQ(options.outputName, c.output);
        EXPECT_EQ(out, "");
    }
}

TEST_F(OptionsTest, OutputNamingTheInputIsRefused)
{
    const std::string refused = "FATAL:  Cannot write output to the input file \"%\"! Aborting.\n";
    auto message = [&](const std::string& name) {
        std::string text = refused;
        return text.replace(text.find('%'), 1, name);
    };

    EXPECT_FALSE(parse({"a.mid", "a.mid"}));
    EXPECT_EQ(out, message("a.mid"));
    EXPECT_FALSE(parse({"tune.txt"}));
    EXPECT_EQ(out, message("tune.txt"));

    // The same file under another name, once it exists.
    const auto dir = std::filesystem::path(testing::TempDir()) / ("opts" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string input = (dir / "x.mid").string();
    std::ofstream(input) << "MThd";
    const std::string other = (dir / "." / "x.mid").string();
    EXPECT_FALSE(parse({input, other}));
    EXPECT_EQ(out, message(other));

    const std::string linked = (dir / "link.txt").string();
    std::filesystem::create_hard_link(input, linked);
    EXPECT_FALSE(parse({input, linked}));
    EXPECT_EQ(out, message(linked));

    // Different files, or names that do not exist yet, pass.
    EXPECT_TRUE(parse({input, (dir / "y.txt").string()}));
    EXPECT_TRUE(parse({(dir / "missing.mid").string(), (dir / "." / "missing.mid").string()}));
    EXPECT_EQ(out, "");
    std::filesystem::remove_all(dir);
}

} // namespace
