#include "options/Options.h"
#include "options/Usage.h"
#include "support/UsageText.h"

#include "core/Message.h"
#include "core/Settings.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace {

const std::string banner = "MIDI-to-VARN converter v2.1 - converts Standard MIDI to Varnholt Tune Format\n";

const std::string usage = expectedUsage("conv");

// The recorded text after the banner, which must come first. Each recorded
// piece is one whole line.
std::string afterBanner(const CommandLine& result)
{
    std::string text;
    EXPECT_FALSE(result.lines.empty());
    for (std::size_t i = 0; i < result.lines.size(); ++i) {
        const ConsoleLine& line = result.lines[i];
        EXPECT_EQ(line.text.find('\n'), line.text.size() - 1) << "not one line: " << line.text;
        if (i > 0) {
            text += line.text;
        } else {
            EXPECT_EQ(line.text, banner);
            EXPECT_EQ(line.level, Level::Fatal);
        }
    }
    return text;
}

// The confirmation of "-v N" at the default level.
std::string verbosityConfirmation(int level)
{
    const char* const names[10] = {"FATAL", "ERROR", "FORMAT", "WARN",   "Output",
                                   "Info",  "Notice", "Debug", "Ignore", "All"};
    return "Output: Setting verbosity to \"" + std::string(names[level]) + "\".\n";
}

// "-v N" in front of `args`, unless N is the default level 4.
std::vector<std::string> atLevel(int level, std::vector<std::string> args)
{
    if (level != 4)
        args.insert(args.begin(), {"-v", std::to_string(level)});
    return args;
}

class OptionsTest : public testing::Test {
protected:
    // Runs parseOptions on `program` followed by `args`; keeps its result,
    // what it recorded after the banner (`out`) and the scanner's complaints
    // (`err`). The parser itself prints nothing.
    bool parse(std::vector<std::string> args, const std::string& program = "conv",
               const SameFileCheck& sameFile = sameName)
    {
        args.insert(args.begin(), program);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        result = parseOptions(args, sameFile);
        const std::string printed = testing::internal::GetCapturedStdout();
        const std::string printedErrors = testing::internal::GetCapturedStderr();
        EXPECT_EQ(printed, "");
        EXPECT_EQ(printedErrors, "");
        EXPECT_EQ(result.status, result.proceed ? 0 : 1);
        out = afterBanner(result);
        err = result.errors;
        return result.proceed;
    }

    CommandLine result;
    std::string out;
    std::string err;
};

struct Case {
    std::vector<std::string> args;
    int verbosity;
    bool ok;
    std::string output;
};

// Every option's confirmation or refusal, exactly as printed. A verbosity
// other than the default is set by "-v N" in front, whose confirmation then
// comes first.
TEST_F(OptionsTest, MessagesOfEachOption)
{
    const std::string f = "FATAL:  ";
    const std::string o = "Output: ";
    const std::string n = "Notice: ";
    const std::vector<Case> cases = {
        {{"-a", "in.mid"}, 4, true, o + "Auto-transposing enabled.\n"},
        {{"-e", "in.mid"}, 4, true, o + "Eliminating all but one instance of identical notes.\n"},
        {{"-l", "in.mid"}, 4, true, o + "Enabling [...]$.\n"},
        {{"-kl", "in.mid"}, 4, true, o + "Keeping channels in step.\n" + o + "Enabling [...]$.\n"},
        {{"-ck", "in.mid"}, 4, true,
         o + "Keeping the highest and lowest notes of chords.\n" + o + "Keeping channels in step.\n"},
        {{"-cp2", "in.mid"}, 4, true,
         o + "Keeping the highest and lowest notes of chords.\n" + o + "Setting polyphony of all channels to 2.\n"},
        {{"-n", "in.mid"}, 4, true, o + "Triplet detection disabled.\n"},
        {{"-ok", "in.mid"}, 4, true,
         o + "Fitting each channel into the range by octaves.\n" + o + "Keeping channels in step.\n"},
        {{"-u", "in.mid"}, 4, true, o + "Enabling /b#.\n"},
        {{"-b", "5", "in.mid"}, 4, true, o + "Splitting channels into macros of at most 5 parts.\n"},
        {{"-ab10000", "in.mid"}, 4, true,
         o + "Auto-transposing enabled.\n" + o + "Splitting channels into macros of at most 10000 parts.\n"},
        {{"-b1", "in.mid"}, 3, true, ""},
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
        EXPECT_EQ(parse(atLevel(c.verbosity, c.args)), c.ok);
        EXPECT_EQ(out, (c.verbosity == 4 ? "" : verbosityConfirmation(c.verbosity)) + c.output);
        EXPECT_EQ(err, "");
    }
}

// Each refused command line says why as a code with its channel, at any
// verbosity: what callers and the page read instead of the console.
TEST_F(OptionsTest, RefusalsReportTheirCodes)
{
    const struct {
        std::vector<std::string> args;
        Code code;
        int channel;
        std::vector<int> args_;
    } cases[] = {
        {{"-d", "17", "in.mid"}, Code::InvalidChannel, noChannel, {17}},
        {{"-v", "0", "-p", "0@2", "in.mid"}, Code::InvalidChannel, noChannel, {0}},
        {{"-m", "4,4", "in.mid"}, Code::MergeIntoItself, 4, {4}},
        {{"-m", "1,2", "-m", "1,3", "in.mid"}, Code::MergedTwice, 1, {1}},
        {{"-m", "all", "-m", "3,4", "in.mid"}, Code::MergedTwice, 3, {3}},
        {{"-p", "4@1", "-l", "in.mid"}, Code::LongChordsWithoutPolyphony, 4, {}},
        {{"in.mid", "in.mid"}, Code::OutputIsInput, noChannel, {}},
        {{"-p", "x", "in.mid"}, Code::Usage, noChannel, {}},
        {{"-h"}, Code::Usage, noChannel, {}},
        {{"-v", "0", "a", "b", "c"}, Code::Usage, noChannel, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        EXPECT_FALSE(parse(c.args));
        ASSERT_EQ(result.diagnostics.codes(), std::vector<Code>{c.code});
        const Diagnostic& d = result.diagnostics.kept()[0];
        EXPECT_EQ(d.channel, c.channel);
        EXPECT_EQ(std::vector<int>(d.args().begin(), d.args().end()), c.args_);
        EXPECT_EQ(d.level, Level::Fatal);
    }
    // A merge target switched off is a warning, and the run goes on.
    EXPECT_TRUE(parse({"-m", "1,2", "-d", "1", "in.mid"}));
    EXPECT_EQ(result.diagnostics.codes(), std::vector<Code>{Code::MergeTargetDeactivated});
    EXPECT_EQ(result.diagnostics.kept()[0].channel, 1);
    EXPECT_TRUE(parse({"-a", "in.mid"}));
    EXPECT_TRUE(result.diagnostics.kept().empty());
}

// Arguments the option cannot use: the usage text, and nothing else. The
// usage text is shown whatever the level, here after "-v 0".
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
        {"-b", "0", "in.mid"},
        {"-b", "10001", "in.mid"},
        {"-b", "-5", "in.mid"},
        {"-b", "five", "in.mid"},
        {"-b", "", "in.mid"},
        {},
        {"-a"},
        {"in.mid", "out.txt", "-e"},
        {"a.mid", "b.txt", "c.txt"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(testing::PrintToString(args));
        EXPECT_FALSE(parse(atLevel(0, args)));
        EXPECT_EQ(out, verbosityConfirmation(0) + usage);
        EXPECT_EQ(err, "");
    }
}

// The scanner complains in its own words (for standard error); then the usage text.
TEST_F(OptionsTest, UnknownOptionAndMissingArgument)
{
    struct Complaint {
        std::vector<std::string> args;
        std::string err;
    };
    const std::vector<Complaint> cases = {
        {{"-x", "in.mid"}, "conv: invalid option -- 'x'\n"},
        {{"-d"}, "conv: option requires an argument -- 'd'\n"},
        {{"-ax", "in.mid"}, "conv: invalid option -- 'x'\n"},
    };
    for (const auto& c : cases) {
        const auto& args = c.args;
        SCOPED_TRACE(testing::PrintToString(args));
        EXPECT_FALSE(parse(args));
        EXPECT_NE(err, "");
        EXPECT_EQ(err, c.err);
        if (args[0] == "-ax")
            EXPECT_EQ(out, "Output: Auto-transposing enabled.\n" + usage);
        else
            EXPECT_EQ(out, usage);
    }
}

TEST_F(OptionsTest, ProgramNameInUsage)
{
    EXPECT_EQ(usageText("conv"), usage);

    EXPECT_FALSE(parse({"-h"}, "C:\\tools\\conv.exe"));
    EXPECT_EQ(out, expectedUsage("conv.exe"));
    // The scanner's complaints name the program the same way.
    EXPECT_FALSE(parse({"-x"}, "C:\\tools\\conv.exe"));
    EXPECT_EQ(err, "conv.exe: invalid option -- 'x'\n");

    // Only the backslash separates: a forward-slash path is shown whole.
    EXPECT_FALSE(parse({"-h"}, "/usr/bin/conv"));
    EXPECT_EQ(out, expectedUsage("/usr/bin/conv"));

    EXPECT_FALSE(parse({"-h"}, "dir\\"));
    EXPECT_EQ(out, expectedUsage(""));
}

TEST_F(OptionsTest, NoArgumentsAtAll)
{
    const CommandLine none = parseOptions({});
    EXPECT_FALSE(none.proceed);
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(afterBanner(none), expectedUsage(""));
    EXPECT_EQ(none.inputName, "");
    EXPECT_EQ(none.errors, "");
}

TEST_F(OptionsTest, SettingsOfAllSwitches)
{
    ASSERT_TRUE(parse({"-a", "-b", "9", "-b3", "-c", "-e", "-k", "-l", "-n", "-o", "-u", "-t", "5", "-t", "-3", "-p", "2", "-p", "7@0", "-d",
                       "all", "-s", "2,7,9", "-m", "9,10,11", "in.mid"}));
    const Settings& settings = result.settings;
    EXPECT_TRUE(settings.autoTranspose);
    EXPECT_TRUE(settings.keepOuterVoices);
    EXPECT_TRUE(settings.eliminateIdentical);
    EXPECT_TRUE(settings.keepInStep);
    EXPECT_TRUE(settings.fitOctaves);
    EXPECT_TRUE(settings.longChords);
    EXPECT_FALSE(settings.triplets);
    EXPECT_TRUE(settings.upperC);
    EXPECT_EQ(settings.transpose, -3);
    EXPECT_EQ(settings.splitParts, 3);
    for (int ch = 0; ch < 16; ++ch) {
        SCOPED_TRACE(ch);
        EXPECT_EQ(settings.polyphony[ch], ch == 6 ? 0 : 2);
        EXPECT_EQ(settings.active[ch], ch == 1 || ch == 6 || ch == 8);
        EXPECT_EQ(settings.mergeList[ch], ch == 8 ? std::vector<int>({9, 10}) : std::vector<int>());
    }
    EXPECT_EQ(settings.verbosity, Level::Output);
    EXPECT_EQ(result.inputName, "in.mid");
    EXPECT_EQ(result.outputName, "in.txt");
}

TEST_F(OptionsTest, ParsingStartsWithAllChannelsActive)
{
    ASSERT_TRUE(parse({"-d", "1,,4", "in.mid"}));
    for (int ch = 0; ch < 16; ++ch)
        EXPECT_EQ(result.settings.active[ch], ch != 0) << ch;
}

TEST_F(OptionsTest, MergeAllListsEveryOtherChannel)
{
    ASSERT_TRUE(parse({"-d", "all", "-m", "all", "in.mid"}));
    EXPECT_EQ(result.settings.mergeList[0], std::vector<int>({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
    EXPECT_TRUE(result.settings.active[0]);
    EXPECT_FALSE(result.settings.active[1]);
}

TEST_F(OptionsTest, VerbosityTakesEffect)
{
    ASSERT_TRUE(parse({"-v", "8", "in.mid"}));
    EXPECT_EQ(result.settings.verbosity, Level::Ignore);
    ASSERT_TRUE(parse({"-v", "0", "-s", "3", "in.mid"}));
    EXPECT_EQ(result.settings.verbosity, Level::Fatal);
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
        EXPECT_TRUE(parse(c.args));
        EXPECT_EQ(result.inputName, c.input);
        EXPECT_EQ(result.outputName, c.output);
        EXPECT_EQ(out, "");
    }
}

// The check the program passes: equal names, or two names of one existing
// file (another path or a hard link); never standard output.
bool sameFileOnDisk(const std::string& input, const std::string& output)
{
    if (output == "-")
        return false;
    if (output == input)
        return true;
    std::error_code error;
    return std::filesystem::equivalent(input, output, error);
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

    // Without a check of its own, only equal names count.
    EXPECT_TRUE(sameName("a.mid", "a.mid"));
    EXPECT_FALSE(sameName("a.mid", "./a.mid"));
    EXPECT_FALSE(sameName("-", "-"));

    // The same file under another name, once it exists.
    const auto dir = std::filesystem::path(testing::TempDir()) / ("opts" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string input = (dir / "x.mid").string();
    std::ofstream(input) << "MThd";
    const std::string other = (dir / "." / "x.mid").string();
    EXPECT_FALSE(parse({input, other}, "conv", sameFileOnDisk));
    EXPECT_EQ(out, message(other));

    const std::string linked = (dir / "link.txt").string();
    std::filesystem::create_hard_link(input, linked);
    EXPECT_FALSE(parse({input, linked}, "conv", sameFileOnDisk));
    EXPECT_EQ(out, message(linked));

    // Different files, or names that do not exist yet, pass.
    EXPECT_TRUE(parse({input, (dir / "y.txt").string()}, "conv", sameFileOnDisk));
    EXPECT_TRUE(parse({(dir / "missing.mid").string(), (dir / "." / "missing.mid").string()}, "conv",
                      sameFileOnDisk));
    EXPECT_EQ(out, "");
    std::filesystem::remove_all(dir);
}

// The check sees the settled names, and only once the switches passed.
TEST_F(OptionsTest, SameFileCheckGetsTheSettledNames)
{
    std::vector<std::string> asked;
    const SameFileCheck record = [&](const std::string& input, const std::string& output) {
        asked.push_back(input + "|" + output);
        return false;
    };
    EXPECT_TRUE(parse({"-a", "song.mid"}, "conv", record));
    EXPECT_TRUE(parse({"--", "a.mid", "-"}, "conv", record));
    EXPECT_FALSE(parse({"-d", "17", "song.mid"}, "conv", record));
    EXPECT_FALSE(parse({"-l", "-p", "1", "song.mid"}, "conv", record));
    EXPECT_FALSE(parse({"a.mid", "b.txt", "c.txt"}, "conv", record));
    EXPECT_EQ(asked, std::vector<std::string>({"song.mid|song.txt", "a.mid|-"}));
}

// Nothing of one reading is left for the next: settings, merges and the
// verbosity start afresh, and the diagnostics record in place is untouched.
TEST_F(OptionsTest, ReadingsAreIndependent)
{
    std::string outer;
    Message record([&](const ConsoleText& piece) { outer += piece.text; }, Level::Notice);
    MessageScope scope(record);

    ASSERT_TRUE(parse({"-v", "9", "-a", "-e", "-k", "-l", "-n", "-o", "-u", "-b", "5", "-t", "4", "-p", "3@2", "-d",
                       "all", "-m", "1,2", "first.mid", "first.out"}));
    EXPECT_EQ(result.settings.verbosity, Level::All);

    ASSERT_TRUE(parse({"-s", "3", "-m", "1,2", "in.mid"}));
    // The notice of -s is hidden again at the default level; 1,2 merges anew.
    EXPECT_EQ(out, "Output: Merging channel 2 into channel 1.\n");
    const Settings& settings = result.settings;
    const Settings fresh;
    EXPECT_EQ(settings.autoTranspose, fresh.autoTranspose);
    EXPECT_EQ(settings.eliminateIdentical, fresh.eliminateIdentical);
    EXPECT_EQ(settings.longChords, fresh.longChords);
    EXPECT_EQ(settings.keepInStep, fresh.keepInStep);
    EXPECT_EQ(settings.fitOctaves, fresh.fitOctaves);
    EXPECT_EQ(settings.triplets, fresh.triplets);
    EXPECT_EQ(settings.upperC, fresh.upperC);
    EXPECT_EQ(settings.transpose, fresh.transpose);
    EXPECT_EQ(settings.splitParts, fresh.splitParts);
    EXPECT_EQ(settings.polyphony, fresh.polyphony);
    EXPECT_EQ(settings.active, fresh.active);
    EXPECT_EQ(settings.verbosity, fresh.verbosity);
    for (int ch = 0; ch < 16; ++ch)
        EXPECT_EQ(settings.mergeList[ch], ch == 0 ? std::vector<int>({1}) : std::vector<int>()) << ch;
    EXPECT_EQ(result.inputName, "in.mid");
    EXPECT_EQ(result.outputName, "in.txt");

    EXPECT_EQ(currentMessage(), &record);
    EXPECT_EQ(record.msgLevel, Level::Notice);
    EXPECT_EQ(outer, "");
}

} // namespace
