// The built program over the shared collection of real-world MIDI files,
// valid and broken: every run ends with status 0 or 1, says nothing on
// standard error (where sanitizer reports go), does not hang and stays
// within bounded memory. Skipped where the collection is absent.
#include "support/Measure.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr long peakLimitKb = 256 * 1024;
constexpr int hangGuardSeconds = 60;

const fs::path corpus = fs::path(MIDI2VARN_SOURCE_DIR) / ".." / "shared" / "midi-corpus";

std::vector<fs::path> corpusFiles(const fs::path& root)
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file() && entry.path().filename() != "README.md")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

class CorpusTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::is_directory(corpus))
            GTEST_SKIP() << "no corpus at " << corpus;
        std::string pattern = (fs::path(testing::TempDir()) / "corpusXXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }

    void TearDown() override
    {
        std::error_code ignored;
        if (!dir.empty())
            fs::remove_all(dir, ignored);
    }

    // Converts every file with the given options; `valid` files must succeed.
    void convertAll(const fs::path& root, const std::vector<std::string>& options, bool mustSucceed)
    {
        const auto files = corpusFiles(root);
        ASSERT_FALSE(files.empty());
        for (const fs::path& file : files) {
            std::vector<std::string> args{"midi2varn", "-v", "0"};
            args.insert(args.end(), options.begin(), options.end());
            args.insert(args.end(), {file.string(), "out.txt"});
            const MeasuredRun r = runMeasured(MIDI2VARN_EXE, args, dir.string(), hangGuardSeconds);
            const std::string name = fs::relative(file, corpus).string();
            ASSERT_FALSE(r.hung) << name;
            EXPECT_TRUE(r.status == 0 || r.status == 1) << name << ": status " << r.status;
            if (mustSucceed) {
                EXPECT_EQ(r.status, 0) << name;
            }
            EXPECT_EQ(r.err, "") << name;
            EXPECT_LT(r.peakKb, peakLimitKb) << name;
        }
    }

    fs::path dir;
};

TEST_F(CorpusTest, EveryFileEndsCleanly)
{
    convertAll(corpus, {}, false);
}

TEST_F(CorpusTest, ValidFilesConvertUnderEverySwitch)
{
    convertAll(corpus / "Valid", {"-a", "-e", "-l", "-n", "-u", "-p", "2", "-m", "1,2,3,10", "-t", "-30"}, true);
}

} // namespace
