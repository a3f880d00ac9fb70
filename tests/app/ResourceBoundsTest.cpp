// Hostile files of a few kilobytes, each converted by the built program in a
// child process: peak memory stays bounded and every channel's tune text
// stays within the encoder's cap.
#include "support/Measure.h"
#include "support/MidiWriter.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace midi;

namespace {

constexpr long peakLimitKb = 256 * 1024;
constexpr std::size_t tuneCap = 4950000;

// Tune text per channel, put back together from the "/use" lines of the
// macro blocks (pieces lose their "/part " mark).
std::map<int, std::size_t> tuneLengths(const std::string& output)
{
    std::map<int, std::size_t> lengths;
    std::istringstream in(output);
    std::string line;
    int channel = 0;
    const std::string use = "  \"/use ";
    const std::string part = "/part ";
    const std::string end = "\\r\"";
    while (std::getline(in, line)) {
        if (line.rfind("  // Channel ", 0) == 0) {
            channel = std::stoi(line.substr(13));
        } else if (line.rfind(use, 0) == 0 && line.size() >= use.size() + end.size()) {
            std::size_t size = line.size() - use.size() - end.size();
            if (line.compare(use.size(), part.size(), part) == 0)
                size -= part.size();
            lengths[channel] += size;
        }
    }
    return lengths;
}

// Notes on every channel, a rest of 2^28 - 1 ticks, and notes again: each
// channel's text would run to tens of megabytes of rests without the cap.
std::string hugeRests()
{
    TrackBody body;
    for (int i = 0; i < 2; ++i)
        for (int ch = 0; ch < 16; ++ch)
            body.noteOn(i == 1 && ch == 0 ? 0x0FFFFFFF : 0, ch, 60 + ch, 100).noteOff(6, ch, 60 + ch);
    return header(0, 1, 24) + body.chunk();
}

// Every length a reader might trust: the chunk, a system-exclusive event,
// a text and an unknown meta event each announce far more than the file holds.
std::string hugeLengths()
{
    TrackBody body;
    body.noteOn(0, 0, 60, 64).noteOff(96, 0, 60);
    body.event(0, bytes({0xF0}) + vlq(0x0FFFFFFF) + std::string(1000, '\x11'));
    std::string text = header(1, 3, 96) + "MTrk" + be32(0xFFFFFFFF) + body.str();
    text += "MTrk" + be32(0xFFFFFFF0) + TrackBody().event(0, bytes({0xFF, 0x01}) + vlq(0x0FFFFFFF)).str() +
            std::string(1000, 'x');
    text += "MTrk" + be32(0x7FFFFFFF) + TrackBody().event(0, bytes({0xFF, 0x60}) + vlq(0x0FFFFFFF)).str() +
            std::string(1000, '\0');
    return text;
}

// 65535 tracks declared, a few hundred present (mostly empty), then nothing.
std::string manyTracks()
{
    std::string text = header(1, 65535, 96);
    for (int i = 0; i < 300; ++i)
        text += chunk(i % 10 == 0 ? TrackBody().noteOn(0, i % 16, 60, 64).noteOff(24, i % 16, 60).str() : "");
    return text;
}

// One status byte, then thousands of notes in running status, none ever
// released but by the end of the track.
std::string runningStatusRun()
{
    TrackBody body;
    body.event(0, bytes({0x90, 30, 100}));
    for (int i = 0; i < 1300; ++i)
        body.raw(vlq(static_cast<std::uint32_t>(i % 3)) + bytes({30 + i % 70, 100}));
    return header(0, 1, 96) + body.chunk();
}

// Chords of 60 notes every sixteenth on four channels.
std::string denseChords()
{
    TrackBody body;
    for (int chord = 0; chord < 8; ++chord)
        for (int ch = 0; ch < 4; ++ch)
            for (int k = 0; k < 60; ++k)
                body.noteOn(k == 0 && ch == 0 ? 24 : 0, ch, 30 + k, 100);
    return header(0, 1, 96) + body.chunk();
}

class ResourceBoundsTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::path(testing::TempDir()) / "boundsXXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    std::string read(const std::string& name) const
    {
        std::ifstream in(dir / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    fs::path dir;
};

TEST_F(ResourceBoundsTest, HostileFilesStayWithinMemoryAndTextCaps)
{
    struct Case {
        const char* name;
        std::string file;
        std::vector<std::string> options;
        bool capped; // some channel's text must reach the cap
    };
    const std::vector<Case> cases = {
        {"huge-rests", hugeRests(), {}, true},
        {"huge-rests-long-chords", hugeRests(), {"-l", "-m", "all", "-n"}, true},
        {"huge-lengths", hugeLengths(), {}, false},
        {"many-tracks", manyTracks(), {"-e"}, false},
        {"running-status", runningStatusRun(), {"-p", "2"}, false},
        {"running-status-unlimited", runningStatusRun(), {"-l", "-u"}, false},
        {"dense-chords", denseChords(), {"-p", "3", "-e", "-l"}, false},
        {"dense-chords-merged", denseChords(), {"-m", "all", "-p", "1", "-a"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_LT(c.file.size(), 16u * 1024u);
        ASSERT_TRUE(writeFile((dir / "in.mid").string(), c.file));
        std::vector<std::string> args{"midi2varn", "-v", "1"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), {"in.mid", "out.txt"});

        const MeasuredRun r = runMeasured(MIDI2VARN_EXE, args, dir.string(), 120, true);
        ASSERT_FALSE(r.hung);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_GT(r.peakKb, 0);
        EXPECT_LT(r.peakKb, peakLimitKb);

        const auto lengths = tuneLengths(read("out.txt"));
        EXPECT_FALSE(lengths.empty());
        std::size_t longest = 0;
        for (const auto& [channel, length] : lengths) {
            EXPECT_LE(length, tuneCap) << "channel " << channel;
            longest = std::max(longest, length);
        }
        if (c.capped) {
            EXPECT_EQ(longest, tuneCap);
            EXPECT_NE(r.out.find("Tune is too long!"), std::string::npos);
        }
    }
}

} // namespace
