#include "options/Scanner.h"

#include <gtest/gtest.h>

#if defined(__GLIBC__)
#include <unistd.h>
#endif

#include <cstddef>
#include <string>
#include <vector>

namespace {

const char* const letters = "ad:ehlnm:p:s:t:uv:";

// Everything a scan yields: per step the result, its argument and the index
// after it, up to and including the end.
struct Step {
    int letter;
    std::string argument;
    std::size_t index;

    bool operator==(const Step&) const = default;
};

void PrintTo(const Step& step, std::ostream* out)
{
    *out << "{" << step.letter << ", \"" << step.argument << "\", " << step.index << "}";
}

std::vector<Step> scan(const std::vector<std::string>& args, std::string* errors = nullptr)
{
    Scanner scanner(args, letters, "conv");
    std::vector<Step> steps;
    int letter = 0;
    do {
        letter = scanner.next();
        steps.push_back({letter, scanner.argument(), scanner.index()});
    } while (letter != Scanner::end && steps.size() < 100);
    if (errors != nullptr)
        *errors = scanner.errors();
    return steps;
}

constexpr int end = Scanner::end;
constexpr int bad = Scanner::failed;

struct Case {
    std::vector<std::string> args; // after the program name
    std::vector<Step> steps;
    std::string errors;
};

TEST(ScannerTest, Table)
{
    const std::string invalid = "conv: invalid option -- ";
    const std::string missing = "conv: option requires an argument -- ";
    const std::vector<Case> cases = {
        {{}, {{end, "", 1}}, ""},
        {{"in.mid"}, {{end, "", 1}}, ""},
        {{"-a", "in.mid"}, {{'a', "", 2}, {end, "", 2}}, ""},
        // Grouped letters; the argument is done with its last letter.
        {{"-ae", "x"}, {{'a', "", 1}, {'e', "", 2}, {end, "", 2}}, ""},
        // Attached and separate arguments; a separate one may look like a switch.
        {{"-d3,4"}, {{'d', "3,4", 2}, {end, "", 2}}, ""},
        {{"-ad3", "x"}, {{'a', "", 1}, {'d', "3", 2}, {end, "", 2}}, ""},
        {{"-d", "3,4", "x"}, {{'d', "3,4", 3}, {end, "", 3}}, ""},
        {{"-t", "-12", "x"}, {{'t', "-12", 3}, {end, "", 3}}, ""},
        {{"-d", "--", "x"}, {{'d', "--", 3}, {end, "", 3}}, ""},
        {{"-d", "", "x"}, {{'d', "", 3}, {end, "", 3}}, ""},
        {{"-ad", "-e"}, {{'a', "", 1}, {'d', "-e", 3}, {end, "", 3}}, ""},
        // The end of the switches: "-" alone, an empty argument, "--" (consumed).
        {{"-", "-a"}, {{end, "", 1}}, ""},
        {{"", "-a"}, {{end, "", 1}}, ""},
        {{"--"}, {{end, "", 2}}, ""},
        {{"-a", "--", "-e"}, {{'a', "", 2}, {end, "", 3}}, ""},
        {{"-a", "--", "--"}, {{'a', "", 2}, {end, "", 3}}, ""},
        {{"x", "-a"}, {{end, "", 1}}, ""},
        // Complaints; scanning goes on with the next letter.
        {{"-x", "in"}, {{bad, "", 2}, {end, "", 2}}, invalid + "'x'\n"},
        {{"-ax", "in"}, {{'a', "", 1}, {bad, "", 2}, {end, "", 2}}, invalid + "'x'\n"},
        {{"-xa"}, {{bad, "", 1}, {'a', "", 2}, {end, "", 2}}, invalid + "'x'\n"},
        {{"-:"}, {{bad, "", 2}, {end, "", 2}}, invalid + "':'\n"},
        {{"-;"}, {{bad, "", 2}, {end, "", 2}}, invalid + "';'\n"},
        {{"-+"}, {{bad, "", 2}, {end, "", 2}}, invalid + "'+'\n"},
        {{"-?"}, {{bad, "", 2}, {end, "", 2}}, invalid + "'?'\n"},
        {{"---"}, {{bad, "", 1}, {bad, "", 2}, {end, "", 2}}, invalid + "'-'\n" + invalid + "'-'\n"},
        {{"--a"}, {{bad, "", 1}, {'a', "", 2}, {end, "", 2}}, invalid + "'-'\n"},
        {{"-\xe9"}, {{bad, "", 2}, {end, "", 2}}, invalid + "'\xe9'\n"},
        {{"-d"}, {{bad, "", 2}, {end, "", 2}}, missing + "'d'\n"},
        {{"-ad"}, {{'a', "", 1}, {bad, "", 2}, {end, "", 2}}, missing + "'d'\n"},
        {{"-e", "-v"}, {{'e', "", 2}, {bad, "", 3}, {end, "", 3}}, missing + "'v'\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), "conv");
        SCOPED_TRACE(testing::PrintToString(args));
        std::string errors;
        EXPECT_EQ(scan(args, &errors), c.steps);
        EXPECT_EQ(errors, c.errors);
    }
}

TEST(ScannerTest, EndIsFinal)
{
    const std::vector<std::string> args{"conv", "-a", "--", "-e"};
    Scanner scanner(args, letters, "conv");
    EXPECT_EQ(scanner.next(), 'a');
    EXPECT_EQ(scanner.next(), Scanner::end);
    EXPECT_EQ(scanner.next(), Scanner::end);
    EXPECT_EQ(scanner.index(), 3U);

    const std::vector<std::string> none;
    Scanner empty(none, letters, "");
    EXPECT_EQ(empty.next(), Scanner::end);
    EXPECT_EQ(empty.errors(), "");
}

#if defined(__GLIBC__)
// The same steps and complaints as the C library's getopt with "+" (the
// scanner goes on after a complaint just as getopt does).
std::vector<Step> scanWithGetopt(const std::vector<std::string>& args, std::string& errors)
{
    std::vector<std::string> storage = args;
    std::vector<char*> argv;
    for (auto& arg : storage)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    const std::string optionString = std::string("+") + letters;
    std::vector<Step> steps;
    testing::internal::CaptureStderr();
    optind = 0; // full reset of the library's scanner
    opterr = 1;
    int letter = 0;
    do {
        letter = getopt(static_cast<int>(storage.size()), argv.data(), optionString.c_str());
        steps.push_back({letter, optarg != nullptr ? optarg : "", static_cast<std::size_t>(optind)});
    } while (letter != -1 && steps.size() < 100);
    errors = testing::internal::GetCapturedStderr();
    return steps;
}

TEST(ScannerTest, AgreesWithGetopt)
{
    const std::vector<std::string> pieces = {"-a", "-d", "-d3", "--", "-",  "x",   "-ax", "-:",
                                             "",   "-ad", "-e-", "---", "-vd", "-h?", "-;"};
    std::vector<std::vector<std::string>> vectors = {{"conv"}};
    // Every sequence of up to three pieces after the program name.
    for (std::size_t from = 0, length = 0; length < 3; ++length) {
        const std::size_t to = vectors.size();
        for (std::size_t i = from; i < to; ++i) {
            for (const std::string& piece : pieces) {
                std::vector<std::string> longer = vectors[i];
                longer.push_back(piece);
                vectors.push_back(longer);
            }
        }
        from = to;
    }
    ASSERT_EQ(vectors.size(), 1U + 15U + 15U * 15U + 15U * 15U * 15U);

    int differences = 0;
    for (const auto& args : vectors) {
        SCOPED_TRACE(testing::PrintToString(args));
        std::string expectedErrors;
        const std::vector<Step> expected = scanWithGetopt(args, expectedErrors);
        std::string errors;
        const std::vector<Step> steps = scan(args, &errors);
        EXPECT_EQ(steps, expected);
        EXPECT_EQ(errors, expectedErrors);
        if ((steps != expected || errors != expectedErrors) && ++differences == 5)
            break;
    }
}
#endif

} // namespace
