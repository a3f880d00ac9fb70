#include "midi/MidiReader.h"

#include "convert/Conversion.h"
#include "core/TimeString.h"
#include "midi/ByteReader.h"
#include "support/Capture.h"
#include "support/MidiWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace {

using midi::bytes;
using midi::TrackBody;

std::span<const unsigned char> asBytes(const std::string& data)
{
    return {reinterpret_cast<const unsigned char*>(data.data()), data.size()};
}

// What `data` holds after the reader's position.
std::string unread(const std::string& data, const ByteReader& in)
{
    return data.substr(std::min(in.position(), data.size()));
}

// One track chunk decoded from memory, with what it printed and what it
// left unread.
struct Decoded {
    std::optional<Track> track;
    std::string out;
    std::string rest;
};

Decoded decode(const std::string& data, int division = 96)
{
    ByteReader in(asBytes(data));
    MidiReader parser;
    Decoded d;
    ConsoleCapture capture;
    d.track = parser.loadTrack(in, division);
    d.out = capture.take();
    d.rest = unread(data, in);
    return d;
}

Decoded decodeBody(const TrackBody& body, int division = 96)
{
    return decode(body.chunk(), division);
}

// The element at `index` when it is of `kind`, else null.
const Element* elementAt(const Track& track, std::size_t index, ElementKind kind)
{
    if (index >= track.elements().size() || track.elements()[index].kind != kind)
        return nullptr;
    return &track.elements()[index];
}

const Element* noteAt(const Track& track, std::size_t index)
{
    return elementAt(track, index, ElementKind::Note);
}

const std::string noChannels = "Info:   Track uses no channels.\n";
const std::string complete0 = "Info:   Time   0    : Track complete.\n";

class MidiReaderTest : public ::testing::Test {
protected:
    void SetUp() override { setVerbosity(9); }
    void TearDown() override { setVerbosity(4); }

    // Loads `data` as a file of a name of its own; returns the result, the
    // output and the file's contents.
    bool load(const std::string& data, MidiFile& file, std::string& out, std::string* pathOut = nullptr)
    {
        const std::string path = std::string("parsermid_") +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
                                 std::to_string(loads_++) + ".mid";
        if (pathOut != nullptr)
            *pathOut = path;
        MidiReader parser;
        ConsoleCapture capture;
        const bool ok = parser.loadSong(asBytes(data), path, file);
        out = capture.take();
        return ok;
    }

private:
    int loads_ = 0;
};

// ---------------------------------------------------------------- file header

TEST_F(MidiReaderTest, WholeSmallFileTracedAtHighestVerbosity)
{
    const std::string data = "MThd" + bytes({0, 0, 0, 6, 0, 0, 0, 1, 0, 0x60}) + "MTrk" +
                             bytes({0, 0, 0, 0x0C, 0x00, 0x90, 0x3C, 0x40, 0x60, 0x80, 0x3C, 0x40, 0x00, 0xFF,
                                    0x2F, 0x00});
    MidiFile file;
    std::string out, path;
    ASSERT_TRUE(load(data, file, out, &path));
    EXPECT_EQ(out, "Output: Parsing \"" + path + "\"...\n"
                   "Info:   Found MIDI Type 0.\n"
                   "Info:   Found 1 Track.\n"
                   "Info:   Time division is 96.\n"
                   "Notice: Time   0    : Note 60(64) on on channel 1.\n"
                   "Debug:  Time   1    : Note 60(64) off on channel 1.\n"
                   "Info:   Time   1    : Track complete.\n"
                   "Info:   Track uses channel 1.\n");
    EXPECT_EQ(file.division, 96);
    ASSERT_EQ(file.tracks.size(), 1u);
    const Track& track = file.tracks[0];
    EXPECT_TRUE(track.used);
    ASSERT_EQ(track.elements().size(), 1u);
    const Element* note = noteAt(track, 0);
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->time, 0);
    EXPECT_EQ(note->channel, 0);
    EXPECT_EQ(note->pitch, 60);
    EXPECT_EQ(note->velocity, 64);
    EXPECT_EQ(note->duration, 96);
}

TEST_F(MidiReaderTest, UnopenableFile)
{
    // A file that could not be read never reaches the parser: the
    // conversion reports it, and that the song could not be parsed.
    ConversionRequest request;
    request.settings.verbosity = Level::All;
    const std::string path = ::testing::TempDir() + "parsermid_no_such_dir/none.mid";
    request.inputName = path;
    request.outputName = "-";
    request.inputRead = false;
    std::string out;
    const Conversion result =
        convert(request, [&out](const ConsoleText& piece) { out.append(piece.text); });
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(out, "FATAL:  Could not open \"" + path + "\".\n"
                   "FATAL:  Could not parse MIDI file.\n");
    EXPECT_TRUE(result.tunes.empty());
}

TEST_F(MidiReaderTest, RejectedHeaders)
{
    const std::string valid = midi::header(0, 0, 96);
    const struct {
        const char* name;
        std::string data;
    } cases[] = {
        {"header length 8", "MThd" + midi::be32(8) + bytes({0, 0, 0, 0, 0, 96, 0, 0})},
        {"wrong identifier", "MThx" + valid.substr(4)},
        {"empty file", ""},
        {"ends inside identifier", "MTh"},
        {"ends inside length", "MThd" + bytes({0, 0})},
        {"ends inside the six data bytes", valid.substr(0, 13)},
        {"ends after the identifier and length", valid.substr(0, 8)},
    };
    for (const auto& c : cases) {
        MidiFile file;
        file.tracks.emplace_back();
        std::string out, path;
        EXPECT_FALSE(load(c.data, file, out, &path)) << c.name;
        EXPECT_EQ(out, "Output: Parsing \"" + path + "\"...\nFATAL:  Not a MIDI File.\n") << c.name;
        EXPECT_EQ(file.tracks.size(), 1u) << c.name;
        EXPECT_EQ(file.division, 240) << c.name;
    }
}

// Each way a file can fail to read, or be read with damage, reports its
// code with its values: the results callers and the page read.
TEST_F(MidiReaderTest, BrokenFilesReportTheirCodes)
{
    const std::string valid = midi::header(0, 0, 96);
    const std::string body = TrackBody().noteOn(0, 0, 60, 64).noteOff(96, 0, 60).str();
    const struct {
        const char* name;
        std::string data;
        bool read;
        std::vector<Code> codes; // in order of first occurrence
        std::vector<int> args;   // of the first code
        int status;
    } cases[] = {
        {"cannot open", "", false, {Code::CannotOpenInput, Code::CannotParse}, {}, 1},
        {"empty", "", true, {Code::Empty, Code::CannotParse}, {}, 1},
        {"ends inside the length", "MThd" + bytes({0, 0}), true, {Code::HeaderCutShort, Code::CannotParse}, {}, 1},
        {"ends inside the data", valid.substr(0, 13), true, {Code::HeaderCutShort, Code::CannotParse}, {}, 1},
        {"wrong identifier", "MThx" + valid.substr(4), true, {Code::NotMidi, Code::CannotParse}, {}, 1},
        {"header length 8", "MThd" + midi::be32(8) + bytes({0, 0, 0, 0, 0, 96, 0, 0}), true,
         {Code::NotMidi, Code::CannotParse}, {}, 1},
        {"division 0", midi::header(0, 0, 0), true, {Code::InvalidDivision, Code::CannotParse}, {0}, 1},
        {"SMPTE division", midi::header(0, 0, 0xE728), true, {Code::SmpteDivision}, {25, 40, 1000}, 0},
        {"division 100", midi::header(0, 0, 100), true, {Code::UnsupportedDivision}, {100}, 0},
        {"type 3", midi::header(3, 0, 96), true, {Code::InvalidMidiType}, {3}, 0},
        {"missing track", midi::header(1, 2, 96) + TrackBody().noteOn(0, 0, 60, 64).endOfTrack(96).chunk(), true,
         {Code::NotTrack}, {}, 0},
        {"track cut short",
         midi::header(0, 1, 96) + "MTrk" + midi::be32(static_cast<std::uint32_t>(body.size() + 10)) + body, true, {Code::TrackTooShort}, {10}, 0},
        {"tempo 0", midi::header(0, 1, 96) + TrackBody().tempo(0, 0).endOfTrack(96).chunk(),
         true, {Code::InvalidTempo}, {}, 0},
    };
    for (const auto& c : cases) {
        ConversionRequest request;
        request.inputName = "in.mid";
        request.outputName = "out.txt";
        request.midi = asBytes(c.data);
        request.inputRead = c.read;
        const Conversion result = convert(request, ConsoleSink{});
        EXPECT_EQ(result.status, c.status) << c.name;
        EXPECT_EQ(result.diagnostics.codes(), c.codes) << c.name;
        ASSERT_FALSE(result.diagnostics.kept().empty()) << c.name;
        const std::span<const int> args = result.diagnostics.kept()[0].args();
        EXPECT_EQ(std::vector<int>(args.begin(), args.end()), c.args) << c.name;
    }
}

TEST_F(MidiReaderTest, TrackCountZero)
{
    MidiFile file;
    std::string out, path;
    ASSERT_TRUE(load(midi::header(1, 0, 480), file, out, &path));
    EXPECT_EQ(out, "Output: Parsing \"" + path + "\"...\n"
                   "Info:   Found MIDI Type 1.\n"
                   "Info:   Found 0 Tracks.\n"
                   "Info:   Time division is 480.\n");
    EXPECT_TRUE(file.tracks.empty());
    EXPECT_EQ(file.division, 480);
}

TEST_F(MidiReaderTest, DivisionsAndTypes)
{
    const struct {
        int type;
        int word;
        std::string lines; // after "Found 0 Tracks."
        std::string typeLines;
        int division;
    } cases[] = {
        {0, 96, "Info:   Time division is 96.\n", "", 96},
        {0, 100, "WARN:   Warning! Time division of 100 not supported!\n", "", 100},
        {0, 0xE728, "WARN:   Warning! SMPTE time division found (25 fps, 40 tps), using 1000.\n", "", 1000},
        {0, 0xE250, "WARN:   Warning! SMPTE time division found (30 fps, 80 tps), using 2400.\n", "", 2400},
        {0, 0x8001, "WARN:   Warning! SMPTE time division found (128 fps, 1 tps), using 128.\n", "", 128},
        {2, 96, "Info:   Time division is 96.\n", "WARN:   Note: MIDI type 2 probably not supported.\n", 96},
        {3, 96, "Info:   Time division is 96.\n", "FORMAT: Warning! Found invalid MIDI type 3!\n", 96},
        {65535, 96, "Info:   Time division is 96.\n", "FORMAT: Warning! Found invalid MIDI type 65535!\n", 96},
    };
    for (const auto& c : cases) {
        MidiFile file;
        std::string out, path;
        EXPECT_TRUE(load(midi::header(c.type, 0, c.word), file, out, &path)) << c.word;
        EXPECT_EQ(out, "Output: Parsing \"" + path + "\"...\nInfo:   Found MIDI Type " + std::to_string(c.type) +
                           ".\n" + c.typeLines + "Info:   Found 0 Tracks.\n" + c.lines)
            << c.word;
        EXPECT_EQ(file.division, c.division) << c.word;
    }
}

TEST_F(MidiReaderTest, DivisionZeroIsRejected)
{
    const struct {
        int word;
        std::string line;
    } cases[] = {
        {0, "Info:   Time division is 0.\n"},
        {0xE700, "WARN:   Warning! SMPTE time division found (25 fps, 0 tps), using 0.\n"},
    };
    for (const auto& c : cases) {
        MidiFile file;
        std::string out, path;
        const std::string data = midi::header(0, 1, c.word) + TrackBody().noteOn(0, 0, 60, 64).endOfTrack(1).chunk();
        EXPECT_FALSE(load(data, file, out, &path));
        EXPECT_EQ(out, "Output: Parsing \"" + path + "\"...\nInfo:   Found MIDI Type 0.\nInfo:   Found 1 Track.\n" +
                           c.line + "FATAL:  Invalid time division 0!\n");
        EXPECT_TRUE(file.tracks.empty());
        EXPECT_EQ(file.division, 240);
    }
}

TEST_F(MidiReaderTest, TracksAreAppendedInFileOrder)
{
    const std::string data = midi::header(1, 3, 96) + TrackBody().tempo(0, 500000).endOfTrack(0).chunk() +
                             TrackBody().noteOn(0, 0, 60, 64).endOfTrack(96).chunk() +
                             TrackBody().noteOn(0, 9, 36, 100).endOfTrack(48).chunk();
    MidiFile file;
    std::string out;
    setVerbosity(4);
    ASSERT_TRUE(load(data, file, out));
    ASSERT_EQ(file.tracks.size(), 3u);
    EXPECT_FALSE(file.tracks[0].used);
    EXPECT_NE(elementAt(file.tracks[0], 0, ElementKind::Tempo), nullptr);
    ASSERT_NE(noteAt(file.tracks[1], 0), nullptr);
    EXPECT_EQ(noteAt(file.tracks[1], 0)->duration, 96);
    ASSERT_NE(noteAt(file.tracks[2], 0), nullptr);
    EXPECT_EQ(noteAt(file.tracks[2], 0)->channel, 9);
    EXPECT_EQ(noteAt(file.tracks[2], 0)->duration, 48);
}

TEST_F(MidiReaderTest, MissingTrackChunks)
{
    const std::string data = midi::header(1, 3, 96) + TrackBody().noteOn(0, 0, 60, 64).endOfTrack(96).chunk();
    MidiFile file;
    std::string out;
    setVerbosity(2);
    ASSERT_TRUE(load(data, file, out));
    EXPECT_EQ(out, "FORMAT: Not a MIDI Track.\nFORMAT: Not a MIDI Track.\n");
    EXPECT_EQ(file.tracks.size(), 1u);
}

TEST_F(MidiReaderTest, ForeignChunkIsNotSkipped)
{
    // "JUNK", its length and its 4-byte body take one iteration each.
    const std::string junk = "JUNK" + midi::be32(4) + "abcd";
    const std::string track = TrackBody().noteOn(0, 0, 60, 64).endOfTrack(96).chunk();
    for (int count : {3, 4}) {
        MidiFile file;
        std::string out;
        setVerbosity(2);
        ASSERT_TRUE(load(midi::header(1, count, 96) + junk + track, file, out));
        EXPECT_EQ(out, "FORMAT: Not a MIDI Track.\nFORMAT: Not a MIDI Track.\nFORMAT: Not a MIDI Track.\n");
        EXPECT_EQ(file.tracks.size(), count == 4 ? 1u : 0u);
    }
}

TEST_F(MidiReaderTest, HugeTrackCountWithFileEndingEarlyIsCheap)
{
    const std::string data = midi::header(1, 65535, 96) + TrackBody().noteOn(0, 0, 60, 64).endOfTrack(96).chunk();
    MidiFile file;
    std::string out;
    setVerbosity(0);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(load(data, file, out));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(out, "");
    EXPECT_EQ(file.tracks.size(), 1u);
    EXPECT_LT(elapsed, std::chrono::seconds(5));
}

TEST_F(MidiReaderTest, DeclaredLengthBeyondFileInSong)
{
    const std::string body = TrackBody().noteOn(0, 0, 60, 64).noteOff(96, 0, 60).str();
    const std::string data = midi::header(0, 1, 96) + "MTrk" + midi::be32(static_cast<std::uint32_t>(body.size() + 10)) + body;
    MidiFile file;
    std::string out;
    setVerbosity(1);
    ASSERT_TRUE(load(data, file, out));
    EXPECT_EQ(out, "ERROR:  Warning! Track is 10 bytes too short!\n");
    ASSERT_EQ(file.tracks.size(), 1u);
    ASSERT_NE(noteAt(file.tracks[0], 0), nullptr);
    EXPECT_EQ(noteAt(file.tracks[0], 0)->duration, 96);
}

// ---------------------------------------------------------------- track chunk

TEST_F(MidiReaderTest, NotATrackChunkConsumesOnlyItsIdentifier)
{
    Decoded d = decode("MThd" + midi::be32(6));
    EXPECT_FALSE(d.track.has_value());
    EXPECT_EQ(d.out, "FORMAT: Not a MIDI Track.\n");
    EXPECT_EQ(d.rest, midi::be32(6));

    d = decode("MT");
    EXPECT_FALSE(d.track.has_value());
    EXPECT_EQ(d.out, "FORMAT: Not a MIDI Track.\n");
}

TEST_F(MidiReaderTest, EmptyTrack)
{
    const Decoded d = decode("MTrk" + midi::be32(0) + "rest");
    ASSERT_TRUE(d.track.has_value());
    EXPECT_EQ(d.out, noChannels);
    EXPECT_TRUE(d.track->elements().empty());
    EXPECT_FALSE(d.track->used);
    EXPECT_EQ(d.rest, "rest");
}

TEST_F(MidiReaderTest, LengthFieldCutShortIsAnEmptyTrack)
{
    const Decoded d = decode("MTrk" + bytes({0, 0, 1}));
    ASSERT_TRUE(d.track.has_value());
    EXPECT_EQ(d.out, noChannels);
    EXPECT_TRUE(d.track->elements().empty());
}

TEST_F(MidiReaderTest, LoneEndOfTrack)
{
    const Decoded d = decodeBody(TrackBody().endOfTrack(0));
    ASSERT_TRUE(d.track.has_value());
    EXPECT_EQ(d.out, complete0 + noChannels);
    EXPECT_TRUE(d.track->elements().empty());
}

TEST_F(MidiReaderTest, RunningStatusWithVelocityZero)
{
    const Decoded d = decodeBody(TrackBody().noteOn(0, 0, 60, 64).raw(bytes({0x60, 0x3C, 0x00})));
    EXPECT_EQ(d.out, "Notice: Time   0    : Note 60(64) on on channel 1.\n"
                     "Notice: Time   1    : Note 60(0) on on channel 1.\n"
                     "Info:   Track uses channel 1.\n");
    ASSERT_EQ(d.track->elements().size(), 1u);
    EXPECT_EQ(noteAt(*d.track, 0)->duration, 96);
}

// Deltas of four and five bytes, with and without running status: the
// longest delta a note is read in place with, and one beyond it.
TEST_F(MidiReaderTest, LongDeltasAndRunningStatusAcrossThem)
{
    setVerbosity(3);
    const Decoded d = decodeBody(TrackBody()
                                     .raw(bytes({0x81, 0x80, 0x80, 0x00, 0x91, 60, 64}))
                                     .raw(bytes({0x80, 0x80, 0x80, 0x80, 0x01, 60, 0}))
                                     .raw(bytes({0x80, 0x80, 0x80, 0x02, 0x81, 62, 10}))
                                     .raw(bytes({0x01, 0x91, 64, 1}))
                                     .raw(bytes({0x80, 0x80, 0x80, 0x80, 0x80, 0x03, 64, 0}))
                                     .endOfTrack(0));
    EXPECT_EQ(d.out, "FORMAT: Warning, did not find an active note for 2097155 ch 1 note 62.\n");
    ASSERT_EQ(d.track->elements().size(), 2u);
    EXPECT_EQ(noteAt(*d.track, 0)->time, 2097152);
    EXPECT_EQ(noteAt(*d.track, 0)->duration, 1);
    EXPECT_EQ(noteAt(*d.track, 1)->time, 2097156);
    EXPECT_EQ(noteAt(*d.track, 1)->duration, 3);
}

TEST_F(MidiReaderTest, MetaEventKeepsRunningStatus)
{
    setVerbosity(6);
    const Decoded d = decodeBody(TrackBody()
                                     .noteOn(0, 2, 60, 64)
                                     .event(0, bytes({0xFF, 0x06, 0x01, 'M'}))
                                     .raw(bytes({0x30, 0x3C, 0x00})));
    EXPECT_EQ(d.out, "Notice: Time   0    : Note 60(64) on on channel 3.\n"
                     "Info:   Time   0    : Marker \"M\".\n"
                     "Notice: Time 1/2: Note 60(0) on on channel 3.\n"
                     "Info:   Track uses channel 3.\n");
    EXPECT_EQ(noteAt(*d.track, 0)->duration, 48);
}

TEST_F(MidiReaderTest, SystemExclusiveClearsRunningStatus)
{
    setVerbosity(5);
    const Decoded d = decodeBody(TrackBody()
                                     .noteOn(0, 0, 60, 64)
                                     .event(0, bytes({0xF0, 0x02, 0x43, 0xF7}))
                                     .raw(bytes({0x60, 0x3C, 0x00}))
                                     .endOfTrack(0));
    // 3C is then a delta time (60 ticks); its 00 and the end of track's
    // delta 00 are unknown tokens too, each read again as a delta time.
    EXPECT_EQ(d.out, "WARN:   Time   0    : SysEx event ignored.\n"
                     "WARN:   Time   1    : Unknown track token 00 ignored.\n"
                     "WARN:   Time   1+5/8: Unknown track token 00 ignored.\n"
                     "WARN:   Time   1+5/8: Unknown track token 00 ignored.\n"
                     "Info:   Time   1+5/8: Track complete.\n"
                     "Info:   Track uses channel 1.\n");
    EXPECT_EQ(noteAt(*d.track, 0)->duration, 156);
}

TEST_F(MidiReaderTest, DataByteWithoutRunningStatusIsReadAgainAsDelta)
{
    const Decoded d = decodeBody(TrackBody().raw(bytes({0x00, 0x40})).endOfTrack(0));
    EXPECT_EQ(d.out, "WARN:   Time   0    : Unknown track token 00 ignored.\n"
                     "WARN:   Time 2/3: Unknown track token 00 ignored.\n"
                     "Info:   Time 2/3: Track complete.\n" + noChannels);
}

TEST_F(MidiReaderTest, RunningStatusDoesNotCrossTracks)
{
    const std::string data = TrackBody().noteOn(0, 0, 60, 64).chunk() +
                             TrackBody().raw(bytes({0x00, 0x3C, 0x40})).chunk();
    ByteReader in(asBytes(data));
    MidiReader parser;
    setVerbosity(3);
    ConsoleCapture capture;
    auto first = parser.loadTrack(in, 96);
    auto second = parser.loadTrack(in, 96);
    EXPECT_EQ(capture.take(), "WARN:   Time   0    : Unknown track token 00 ignored.\n"
                              "WARN:   Time 5/8: Unknown track token 00 ignored.\n");
    ASSERT_TRUE(second.has_value());
    EXPECT_TRUE(second->elements().empty());
}

TEST_F(MidiReaderTest, ChannelMessages)
{
    const struct {
        std::string event;
        std::string line;
    } cases[] = {
        {bytes({0xA3, 60, 10}), "Ignore: Time   0    : Note aftertouch on channel 4 ignored.\n"},
        {bytes({0xC9, 25}), "Ignore: Time   0    : Program change 25 on channel 10 ignored.\n"},
        {bytes({0xDF, 77}), "Ignore: Time   0    : Channel aftertouch on channel 16 ignored.\n"},
        {bytes({0xE0, 0x00, 0x40}), "Ignore: Time   0    : Pitch bend 0 on channel 1 ignored.\n"},
        {bytes({0xE1, 0x7F, 0x7F}), "Ignore: Time   0    : Pitch bend 8191 on channel 2 ignored.\n"},
        {bytes({0xE1, 0x00, 0x00}), "Ignore: Time   0    : Pitch bend -8192 on channel 2 ignored.\n"},
        {bytes({0xE1, 0xFF, 0xFF}), "Ignore: Time   0    : Pitch bend 24703 on channel 2 ignored.\n"},
        {bytes({0xF1}), "WARN:   Time   0    : Unknown system token f1 ignored.\n"},
        {bytes({0xF8}), "WARN:   Time   0    : Unknown system token f8 ignored.\n"},
        {bytes({0xFE}), "WARN:   Time   0    : Unknown system token fe ignored.\n"},
        {bytes({0xF7, 0x00}), "WARN:   Time   0    : SysEx event ignored.\n"},
    };
    for (const auto& c : cases) {
        const Decoded d = decodeBody(TrackBody().event(0, c.event));
        EXPECT_EQ(d.out, c.line + noChannels) << c.line;
        EXPECT_TRUE(d.track->elements().empty()) << c.line;
        EXPECT_EQ(d.rest, "") << c.line;
    }
}

TEST_F(MidiReaderTest, Controllers)
{
    const struct {
        int number;
        int value;
        std::string line;
        bool notesEnd;
    } cases[] = {
        {0x5B, 40, "", false},
        {0x50, 40, "", false},
        {0x5F, 40, "", false},
        {1, 40, "WARN:   Time   1    : Unknown controller event 01 on channel 2 ignored.\n", false},
        {0x4F, 40, "WARN:   Time   1    : Unknown controller event 4f on channel 2 ignored.\n", false},
        {0x60, 40, "WARN:   Time   1    : Unknown controller event 60 on channel 2 ignored.\n", false},
        {0, 3, "Ignore: Time   1    : Bank select to 3 on channel 2 ignored.\n", false},
        {32, 4, "Ignore: Time   1    : Bank select to 4 on channel 2 ignored.\n", false},
        {10, 64, "Ignore: Time   1    : Panning to 64 on channel 2 ignored.\n", false},
        {64, 127, "Debug:  Time   1    : Sustain ignored on channel 2 ignored.\n", false},
        {121, 0, "Debug:  Time   1    : Reset controllers on channel 2 ignored.\n", false},
        {120, 0, "Info:   Time   1    : All sound off on channel 2.\n", true},
        {123, 0, "Info:   Time   1    : All notes off on channel 2.\n", true},
        {127, 0, "Info:   Time   1    : Poly mode on (and all notes off) on channel 2.\n", true},
    };
    for (const auto& c : cases) {
        setVerbosity(9);
        const Decoded d = decodeBody(
            TrackBody().noteOn(0, 1, 60, 64).noteOn(0, 2, 60, 64).controller(96, 1, c.number, c.value));
        const std::string head = "Notice: Time   0    : Note 60(64) on on channel 2.\n"
                                 "Notice: Time   0    : Note 60(64) on on channel 3.\n";
        EXPECT_EQ(d.out, head + c.line + "Info:   Track uses channel 2 3.\n") << c.number;
        ASSERT_EQ(d.track->elements().size(), 2u) << c.number;
        EXPECT_EQ(noteAt(*d.track, 0)->duration, c.notesEnd ? 96 : 0) << c.number;
        EXPECT_EQ(noteAt(*d.track, 1)->duration, 0) << c.number;
    }
}

TEST_F(MidiReaderTest, ChannelVolume)
{
    const Decoded d = decodeBody(TrackBody().controller(48, 4, 7, 100));
    EXPECT_EQ(d.out, "Notice: Time 1/2: Channel volume to 100% on channel 5.\n" + noChannels);
    const Element* volume = elementAt(*d.track, 0, ElementKind::Volume);
    ASSERT_NE(volume, nullptr);
    EXPECT_EQ(volume->time, 48);
    EXPECT_EQ(volume->channel, 4);
    EXPECT_EQ(volume->volume, 100);
    EXPECT_FALSE(d.track->used);
}

TEST_F(MidiReaderTest, Tempos)
{
    const struct {
        std::uint32_t micros;
        std::string shown;
        int bpm;
    } cases[] = {
        {500000, "120", 120},
        {428571, "140", 140},
        {16777215, "3.57628", 4},
        {1, "6e+07", 60000000},
    };
    for (const auto& c : cases) {
        const Decoded d = decodeBody(TrackBody().tempo(0, c.micros));
        EXPECT_EQ(d.out, "Notice: Time   0    : Tempo is " + c.shown + ".\n" + noChannels);
        const Element* tempo = elementAt(*d.track, 0, ElementKind::Tempo);
        ASSERT_NE(tempo, nullptr) << c.micros;
        EXPECT_EQ(tempo->bpm, c.bpm);
        EXPECT_EQ(tempo->channel, 15);
        EXPECT_EQ(tempo->time, 0);
        EXPECT_FALSE(d.track->used);
    }
}

TEST_F(MidiReaderTest, TempoZeroIsIgnored)
{
    const Decoded d = decodeBody(TrackBody().tempo(96, 0));
    EXPECT_EQ(d.out, "FORMAT: Time   1    : Invalid tempo 0 ignored.\n" + noChannels);
    EXPECT_TRUE(d.track->elements().empty());
}

TEST_F(MidiReaderTest, WrongLengthBytesAreReportedAndFixedSizeIsRead)
{
    const Decoded d = decodeBody(TrackBody()
                                     .event(0, bytes({0xFF, 0x51, 0x05, 0x07, 0xA1, 0x20}))
                                     .event(0, bytes({0xFF, 0x21, 0x00, 0x02}))
                                     .event(0, bytes({0xFF, 0x58, 0x02, 0x03, 0x02, 0x18, 0x08}))
                                     .event(0, bytes({0xFF, 0x59, 0x00, 0x01, 0x00})));
    EXPECT_EQ(d.out, "FORMAT: Time   0    : Invalid byte value ignored.\n"
                     "Notice: Time   0    : Tempo is 120.\n"
                     "FORMAT: Time   0    : Invalid byte value ignored.\n"
                     "Ignore: Time   0    : Port prefix 02 ignored.\n"
                     "FORMAT: Time   0    : Invalid byte value ignored.\n"
                     "Info:   Time   0    : Time signature 3 4 24 8 ignored.\n"
                     "FORMAT: Time   0    : Invalid byte value ignored.\n"
                     "Info:   Time   0    : Key is G major.\n" +
                         noChannels);
    EXPECT_EQ(d.rest, "");
}

TEST_F(MidiReaderTest, TimeSignatures)
{
    const struct {
        int dd;
        std::string shown;
    } cases[] = {{3, "6 8 24 8"}, {0, "6 1 24 8"}, {30, "6 1073741824 24 8"},
                 {31, "6 -2147483648 24 8"}, {32, "6 0 24 8"}, {255, "6 0 24 8"}};
    for (const auto& c : cases) {
        const Decoded d = decodeBody(TrackBody().event(0, bytes({0xFF, 0x58, 0x04, 0x06, c.dd, 0x18, 0x08})));
        EXPECT_EQ(d.out, "Info:   Time   0    : Time signature " + c.shown + " ignored.\n" + noChannels);
    }
}

TEST_F(MidiReaderTest, KeySignatures)
{
    const struct {
        int sf;
        int mi;
        std::string line;
    } cases[] = {
        {-3, 0, "Info:   Time   0    : Key is Eb major.\n"},
        {0, 0, "Info:   Time   0    : Key is C major.\n"},
        {0, 1, "Info:   Time   0    : Key is A minor.\n"},
        {-7, 0, "Info:   Time   0    : Key is Cb major.\n"},
        {7, 0, "Info:   Time   0    : Key is C# major.\n"},
        {-7, 1, "Info:   Time   0    : Key is Ab minor.\n"},
        {7, 1, "Info:   Time   0    : Key is A# minor.\n"},
        {-3, 1, "Info:   Time   0    : Key is C minor.\n"},
        {2, 5, "Info:   Time   0    : Key is B minor.\n"},
        {8, 0, "FORMAT: Time   0    : Warning! Invalid key 8 ignored!\n"},
        {-8, 0, "FORMAT: Time   0    : Warning! Invalid key -8 ignored!\n"},
        {-128, 1, "FORMAT: Time   0    : Warning! Invalid key -128 ignored!\n"},
    };
    for (const auto& c : cases) {
        const Decoded d = decodeBody(TrackBody().event(0, bytes({0xFF, 0x59, 0x02, c.sf, c.mi})));
        EXPECT_EQ(d.out, c.line + noChannels) << c.sf << " " << c.mi;
    }
}

TEST_F(MidiReaderTest, TextEvents)
{
    const char* const kinds[] = {"Text ", "Copyright ", "Track ", "Inst ", "Lyrics ", "Marker ", "Cue "};
    for (int type = 1; type <= 7; ++type) {
        const Decoded d =
            decodeBody(TrackBody().event(0, bytes({0xFF, type, 5}) + "Piano").event(0, bytes({0xFF, type, 0})));
        EXPECT_EQ(d.out, std::string("Info:   Time   0    : ") + kinds[type - 1] + "\"Piano\".\n" +
                             "Info:   Time   0    : " + kinds[type - 1] + "\"\".\n" + noChannels);
    }
    // The text ends at its first zero byte; the rest of its length is still read.
    const Decoded d = decodeBody(TrackBody().event(0, bytes({0xFF, 0x03, 0x05, 'P', 'i', 0, 'a', 'n'})).endOfTrack(0));
    EXPECT_EQ(d.out, "Info:   Time   0    : Track \"Pi\".\n" + complete0 + noChannels);
}

TEST_F(MidiReaderTest, LongTextIsReadWhole)
{
    const std::string text(10000, 'x');
    const Decoded d = decodeBody(TrackBody().event(0, bytes({0xFF, 0x01}) + midi::vlq(10000) + text).endOfTrack(0));
    EXPECT_EQ(d.out, "Info:   Time   0    : Text \"" + text + "\".\n" + complete0 + noChannels);
}

TEST_F(MidiReaderTest, UnknownMetaEventIsSkipped)
{
    const Decoded d = decodeBody(TrackBody().event(0, bytes({0xFF, 0x7F, 0x03, 0x90, 0x3C, 0x40})).endOfTrack(0));
    EXPECT_EQ(d.out, "WARN:   Time   0    : Unknown event token 7f ignored.\n" + complete0 + noChannels);
    EXPECT_TRUE(d.track->elements().empty());
}

TEST_F(MidiReaderTest, EndOfTrackWithLengthDoesNotSkipItsBytes)
{
    // The announced byte (00) is the next event's delta time.
    const Decoded d = decodeBody(TrackBody().noteOn(0, 0, 60, 64).event(48, bytes({0xFF, 0x2F, 0x01})).raw(
        bytes({0x00, 0x90, 0x3E, 0x40})));
    EXPECT_EQ(d.out, "Notice: Time   0    : Note 60(64) on on channel 1.\n"
                     "FORMAT: Time 1/2: Invalid byte value ignored.\n"
                     "Info:   Time 1/2: Track complete.\n"
                     "Notice: Time 1/2: Note 62(64) on on channel 1.\n"
                     "Info:   Track uses channel 1.\n");
    EXPECT_EQ(noteAt(*d.track, 0)->duration, 48);
    EXPECT_EQ(noteAt(*d.track, 1)->time, 48);
}

TEST_F(MidiReaderTest, TwoEndOfTrackEvents)
{
    const Decoded d = decodeBody(
        TrackBody().noteOn(0, 0, 60, 64).endOfTrack(24).noteOn(0, 1, 62, 64).endOfTrack(24).noteOn(0, 2, 64, 64));
    EXPECT_EQ(d.out, "Notice: Time   0    : Note 60(64) on on channel 1.\n"
                     "Info:   Time 1/4: Track complete.\n"
                     "Notice: Time 1/4: Note 62(64) on on channel 2.\n"
                     "Info:   Time 1/2: Track complete.\n"
                     "Notice: Time 1/2: Note 64(64) on on channel 3.\n"
                     "Info:   Track uses channel 1 2 3.\n");
    EXPECT_EQ(noteAt(*d.track, 0)->duration, 24);
    EXPECT_EQ(noteAt(*d.track, 1)->duration, 24);
    EXPECT_EQ(noteAt(*d.track, 2)->duration, 0);
}

TEST_F(MidiReaderTest, MessageComesBeforeTrackWarning)
{
    const Decoded d = decodeBody(TrackBody().noteOff(0, 3, 50, 10).noteOn(0, 3, 52, 64).noteOn(12, 3, 52, 70));
    EXPECT_EQ(d.out, "Debug:  Time   0    : Note 50(10) off on channel 4.\n"
                     "FORMAT: Warning, did not find an active note for 0 ch 3 note 50.\n"
                     "Notice: Time   0    : Note 52(64) on on channel 4.\n"
                     "Notice: Time 1/8: Note 52(70) on on channel 4.\n"
                     "FORMAT: Warning, note 52 hasn't been released yet!\n"
                     "Info:   Track uses channel 4.\n");
}

TEST_F(MidiReaderTest, ChannelUseCountsVelocityZeroNoteOns)
{
    setVerbosity(5);
    const Decoded d = decodeBody(TrackBody().noteOn(0, 15, 60, 0).noteOn(0, 9, 40, 64).noteOn(0, 0, 40, 64));
    EXPECT_EQ(d.out, "FORMAT: Warning, did not find an active note for 0 ch 15 note 60.\n"
                     "Info:   Track uses channel 1 10 16.\n");
    EXPECT_TRUE(d.track->used);
}

TEST_F(MidiReaderTest, OnlyVelocityZeroLeavesTrackUnused)
{
    setVerbosity(5);
    const Decoded d = decodeBody(TrackBody().noteOn(0, 0, 60, 0));
    EXPECT_EQ(d.out, "FORMAT: Warning, did not find an active note for 0 ch 0 note 60.\n"
                     "Info:   Track uses channel 1.\n");
    EXPECT_FALSE(d.track->used);
}

TEST_F(MidiReaderTest, DeclaredLengthShorterThanEvents)
{
    // L = 2 but the first event is four bytes long: it is read whole and
    // the stream is left after it.
    const Decoded d = decode("MTrk" + midi::be32(2) + bytes({0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00}));
    EXPECT_EQ(d.out, "Notice: Time   0    : Note 60(64) on on channel 1.\n"
                     "ERROR:  Warning! Track is -2 bytes too short!\n"
                     "Info:   Track uses channel 1.\n");
    EXPECT_EQ(d.rest, bytes({0x00, 0xFF, 0x2F, 0x00}));
}

TEST_F(MidiReaderTest, DeclaredLengthBeyondFile)
{
    const std::string body = TrackBody().noteOn(0, 0, 60, 64).noteOff(96, 0, 60).str();
    const Decoded d = decode("MTrk" + midi::be32(static_cast<std::uint32_t>(body.size() + 10)) + body);
    EXPECT_EQ(d.out, "Notice: Time   0    : Note 60(64) on on channel 1.\n"
                     "Debug:  Time   1    : Note 60(64) off on channel 1.\n"
                     "ERROR:  Warning! Track is 10 bytes too short!\n"
                     "Info:   Track uses channel 1.\n");
    EXPECT_EQ(noteAt(*d.track, 0)->duration, 96);
}

TEST_F(MidiReaderTest, LengthsPastEndOfFile)
{
    // Each body is the whole rest of the file; L declares 1000 bytes.
    const struct {
        const char* name;
        std::string body;
        std::string lines;
        int missing;
    } cases[] = {
        {"text of 2^28 bytes", bytes({0x00, 0xFF, 0x01}) + midi::vlq(1u << 28) + "abc", "", 1000 - 11},
        {"text length cut", bytes({0x00, 0xFF, 0x01, 0x81}), "", 1000 - 4},
        {"sysex", bytes({0x00, 0xF0}) + midi::vlq(100000) + "12345", "", 1000 - 10},
        {"sysex length cut", bytes({0x00, 0xF0, 0xFF}), "", 1000 - 3},
        {"unknown meta", bytes({0x00, 0xFF, 0x7E}) + midi::vlq(0xFFFFFFFFu) + "1234567",
         "WARN:   Time   0    : Unknown event token 7e ignored.\n", 1000 - 15},
        {"unknown meta length cut", bytes({0x00, 0xFF, 0x7E, 0x80}),
         "WARN:   Time   0    : Unknown event token 7e ignored.\n", 1000 - 4},
        {"tempo with wrong length", bytes({0x00, 0xFF, 0x51, 0x05, 0x07}),
         "FORMAT: Time   0    : Invalid byte value ignored.\n", 1000 - 5},
        {"tempo length cut", bytes({0x00, 0xFF, 0x51}), "", 1000 - 3},
        {"key signature", bytes({0x00, 0xFF, 0x59, 0x02, 0x01}), "", 1000 - 5},
        {"time signature", bytes({0x00, 0xFF, 0x58, 0x04, 0x06, 0x03, 0x18}), "", 1000 - 7},
        {"port", bytes({0x00, 0xFF, 0x21, 0x01}), "", 1000 - 4},
        {"end of track", bytes({0x00, 0xFF, 0x2F, 0x80}), "", 1000 - 4},
        {"meta type", bytes({0x00, 0xFF}), "", 1000 - 2},
        {"note-on", bytes({0x00, 0x90, 0x3C}), "", 1000 - 3},
        {"note-off", bytes({0x00, 0x80, 0x3C}), "", 1000 - 3},
        {"controller", bytes({0x00, 0xB0, 0x7B}), "", 1000 - 3},
        {"program", bytes({0x00, 0xC0}), "", 1000 - 2},
        {"pitch bend", bytes({0x00, 0xE0, 0x00}), "", 1000 - 3},
        {"delta time", bytes({0x81, 0x80}), "", 1000 - 2},
    };
    for (const auto& c : cases) {
        const Decoded d = decode("MTrk" + midi::be32(1000) + c.body);
        ASSERT_TRUE(d.track.has_value()) << c.name;
        EXPECT_EQ(d.out, c.lines + "ERROR:  Warning! Track is " + std::to_string(c.missing) +
                             " bytes too short!\n" + noChannels)
            << c.name;
        EXPECT_TRUE(d.track->elements().empty()) << c.name;
    }
}

TEST_F(MidiReaderTest, CutShortEventHasNoEffect)
{
    // The end of track lacks its length: the note stays sounding.
    const Decoded d = decode("MTrk" + midi::be32(20) + bytes({0x00, 0x90, 0x3C, 0x40, 0x10, 0xFF, 0x2F}));
    EXPECT_EQ(d.out, "Notice: Time   0    : Note 60(64) on on channel 1.\n"
                     "ERROR:  Warning! Track is 13 bytes too short!\n"
                     "Info:   Track uses channel 1.\n");
    EXPECT_EQ(noteAt(*d.track, 0)->duration, 0);
}

TEST_F(MidiReaderTest, HugeDeltaTimesWrap)
{
    // 0x7FFFFFFF ticks, then 2 more: the running time wraps past INT_MAX.
    setVerbosity(0);
    Decoded d = decodeBody(TrackBody().noteOn(0x7FFFFFFF, 0, 60, 64).noteOn(2, 0, 62, 64).endOfTrack(0));
    ASSERT_EQ(d.track->elements().size(), 2u);
    EXPECT_EQ(noteAt(*d.track, 0)->time, INT_MAX);
    EXPECT_EQ(noteAt(*d.track, 0)->duration, 2);
    EXPECT_EQ(noteAt(*d.track, 1)->time, INT_MIN + 1);
    EXPECT_EQ(noteAt(*d.track, 1)->duration, 0);

    // A VLQ of more bytes than fit keeps the low 32 bits: 1 << 35 is 0,
    // 0xF << 28 | ... is 0xFFFFFFFF (-1).
    d = decodeBody(TrackBody()
                       .raw(bytes({0x81, 0x80, 0x80, 0x80, 0x80, 0x00, 0x90, 0x3C, 0x40}))
                       .raw(bytes({0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x90, 0x3E, 0x40})));
    ASSERT_EQ(d.track->elements().size(), 2u);
    EXPECT_EQ(noteAt(*d.track, 0)->time, 0);
    EXPECT_EQ(noteAt(*d.track, 1)->time, -1);
}

TEST_F(MidiReaderTest, NegativeTimeStringsAreSafe)
{
    const Decoded d = decodeBody(TrackBody().raw(bytes({0xFF, 0xFF, 0xFF, 0xFF, 0x7F})).raw(bytes({0xFF, 0x2F, 0x00})));
    EXPECT_EQ(d.out, "Info:   Time " + timeString(-1, 96) + ": Track complete.\n" + noChannels);
}

} // namespace
