// The manual page: groff formats it without a single warning, and it
// describes every option the program's usage text lists.
#include "options/Options.h"
#include "options/Usage.h"
#include "support/Run.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

const fs::path manuals = fs::absolute(MIDI2VARN_SOURCE_DIR) / "man";
const fs::path page = manuals / "midi2varn.1";

// groff from the search path, or "" where there is none (the Windows build).
std::string findGroff()
{
#if defined(_WIN32) || defined(MIDI2VARN_CHILDREN_EMULATED)
    return "";
#else
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        std::error_code error;
        const fs::path candidate = fs::path(dir.empty() ? "." : dir) / "groff";
        if (fs::is_regular_file(candidate, error))
            return candidate.string();
    }
    return "";
#endif
}

TEST(ManPageTest, FormatsWithoutWarnings)
{
    const std::string groff = findGroff();
    if (groff.empty())
        GTEST_SKIP() << "groff is not installed (Debian: apt-get install groff), or this build starts children "
                        "through the target's emulator; the pages were not formatted";
    for (const char* name : {"midi2varn.1", "varn2midi.1"}) {
        const RunResult r = runProgram(groff, {"groff", "-man", "-ww", "-z", (manuals / name).string()}, "");
        EXPECT_EQ(r.status, 0) << name;
        EXPECT_EQ(r.err, "") << name;
    }
}

TEST(ManPageTest, DescribesEveryOptionOfTheUsageText)
{
    std::set<char> listed;
    std::istringstream usage(usageText("midi2varn"));
    const std::regex usageOption(R"(^  -([A-Za-z])\b)");
    for (std::string line; std::getline(usage, line);) {
        std::smatch match;
        if (std::regex_search(line, match, usageOption))
            listed.insert(match[1].str()[0]);
    }
    ASSERT_GE(listed.size(), 12u) << "the usage text's option lines were not found";

    // The page's OPTIONS section: a tagged paragraph per option, ".TP" and then
    // the option in bold (".B \-a", ".BI \-p " N"").
    std::ifstream in(page);
    ASSERT_TRUE(in) << page;
    std::set<char> described;
    const std::regex entry(R"(^\.B[IR]? \\-([A-Za-z])(\s|$))");
    bool inOptions = false;
    bool tagged = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(".SH", 0) == 0)
            inOptions = line == ".SH OPTIONS";
        std::smatch match;
        if (inOptions && tagged && std::regex_search(line, match, entry))
            described.insert(match[1].str()[0]);
        tagged = line == ".TP";
    }
    for (char option : listed)
        EXPECT_EQ(described.count(option), 1u) << "-" << option << " is missing from " << page;
}

} // namespace
