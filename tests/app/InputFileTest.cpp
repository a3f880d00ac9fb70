// Reading an input file whole, within a limit, and telling two names of
// one file apart from two files.
#include "app/InputFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

class InputFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() / ("InputFileTest-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_);
        std::ofstream(dir_ / "five", std::ios::binary).write("a\0b\nc", 5);
    }
    void TearDown() override
    {
        std::error_code error;
        fs::remove_all(dir_, error);
    }
    std::string path(const char* name) const { return (dir_ / name).string(); }

    fs::path dir_;
};

TEST_F(InputFileTest, ReadsWholeFilesWithinTheLimit)
{
    const std::vector<unsigned char> five = {'a', 0, 'b', '\n', 'c'};
    const struct {
        const char* name;
        std::size_t limit;
        bool opened, complete, tooLarge;
        std::size_t size;
    } cases[] = {
        {"five", 100, true, true, false, 5}, {"five", 5, true, true, false, 5},
        {"five", 4, true, false, true, 5},   {"missing", 100, false, false, false, 0},
    };
    for (const auto& c : cases) {
        const InputBytes got = readInputFile(path(c.name), c.limit);
        const std::string what = std::string(c.name) + " within " + std::to_string(c.limit);
        EXPECT_EQ(got.opened, c.opened) << what;
        EXPECT_EQ(got.complete, c.complete) << what;
        EXPECT_EQ(got.tooLarge, c.tooLarge) << what;
        ASSERT_EQ(got.bytes.size(), c.size) << what;
        if (c.size == five.size()) {
            EXPECT_EQ(got.bytes, five) << what;
        }
    }
    // A folder is never read as complete (it may open, then fail to read).
    EXPECT_FALSE(readInputFile(dir_.string()).complete);
}

TEST_F(InputFileTest, NamesOfOneFileAreTheSame)
{
    std::ofstream(dir_ / "other") << "x";
    std::error_code error;
    fs::create_hard_link(dir_ / "five", dir_ / "link", error);
    EXPECT_TRUE(namesSameFile(path("five"), path("five")));
    EXPECT_TRUE(namesSameFile(path("five"), (dir_ / "." / "five").string()));
    if (!error) {
        EXPECT_TRUE(namesSameFile(path("five"), path("link")));
    }
    EXPECT_FALSE(namesSameFile(path("five"), path("other")));
    EXPECT_FALSE(namesSameFile(path("five"), path("missing")));
    EXPECT_FALSE(namesSameFile(path("missing"), path("missing2")));
    EXPECT_TRUE(namesSameFile("missing", "missing"));
}

} // namespace
