// The one rule for file names: where the last component starts, and the
// extension it gets.
#include "options/FileNames.h"
#include "options/PreviewOptions.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(FileNamesTest, ExtensionOfTheLastComponentOnly)
{
    const struct {
        std::string path, txt, preview, name;
    } cases[] = {
        {"song.mid", "song.txt", "song.preview.mid", "song.mid"},
        {"song", "song.txt", "song.preview.mid", "song"},
        {"a.b/song", "a.b/song.txt", "a.b/song.preview.mid", "song"},
        {"C:\\x.y\\song.MID", "C:\\x.y\\song.txt", "C:\\x.y\\song.preview.mid", "song.MID"},
        {"dir/.hidden", "dir/.hidden.txt", "dir/.hidden.preview.mid", ".hidden"},
        {"song.tar.gz", "song.tar.txt", "song.tar.preview.mid", "song.tar.gz"},
        {"dir/", "dir/.txt", "dir/.preview.mid", ""},
        {"", ".txt", ".preview.mid", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(withExtension(c.path, ".txt"), c.txt) << c.path;
        EXPECT_EQ(withExtension(c.path, previewExtension), c.preview) << c.path;
        EXPECT_EQ(fileNamePart(c.path), c.name) << c.path;
    }
}

} // namespace
