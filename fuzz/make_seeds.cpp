// Writes the fuzz seed corpus: make_seeds <example.mid> <corpus dir>.
// Pipeline seeds are an 8-byte settings prefix (see PipelineFuzzer.cpp)
// followed by a small MIDI file; option seeds are argument vectors whose
// arguments are separated by zero bytes.
#include "support/MidiWriter.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

using namespace midi;

namespace {

std::string prefix(int flags, int poly, int transpose, int merge, int sources = 0, int disabled = 0)
{
    return bytes({flags, poly, transpose, merge, sources & 0xFF, sources >> 8, disabled & 0xFF, disabled >> 8});
}

std::string song(int division, const std::vector<std::string>& bodies, int type = 1)
{
    std::string out = header(type, static_cast<int>(bodies.size()), division);
    for (const auto& body : bodies)
        out += chunk(body);
    return out;
}

std::string one(int division, const TrackBody& body)
{
    return song(division, {body.str()});
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_seeds <example.mid> <corpus dir>\n");
        return 2;
    }
    std::ifstream exampleIn(argv[1], std::ios::binary);
    const std::string example((std::istreambuf_iterator<char>(exampleIn)), std::istreambuf_iterator<char>());
    if (example.empty()) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    const std::string dir = argv[2];

    const std::string plain = prefix(0, 0, 0, 0);
    std::vector<std::pair<std::string, std::string>> pipeline;

    pipeline.emplace_back("example", plain + example);
    pipeline.emplace_back("example-long-chords-poly3", prefix(2 | 4, 3, 0, 0) + example);
    pipeline.emplace_back("example-merge-all-identical", prefix(8 | 16, 0, 0, 1) + example);
    pipeline.emplace_back("example-merge-one-disabled", prefix(1, 1, 0xF4, 0x22, 0x0C, 0x10) + example);

    pipeline.emplace_back("one-note",
                          plain + one(96, TrackBody().noteOn(0, 0, 60, 64).noteOff(96, 0, 60).endOfTrack(0)));

    pipeline.emplace_back("chord-running-status",
                          prefix(2, 0, 0, 0) + one(96, TrackBody()
                                                           .noteOn(0, 0, 60, 80)
                                                           .raw(bytes({0, 64, 80, 0, 67, 80}))
                                                           .raw(bytes({0x83, 0x00, 60, 0, 0, 64, 0, 0, 67, 0}))
                                                           .endOfTrack(0)));

    pipeline.emplace_back("tempo-volume",
                          prefix(0, 0, 0, 0) + one(480, TrackBody()
                                                            .tempo(0, 500000)
                                                            .controller(0, 2, 7, 100)
                                                            .noteOn(0, 2, 62, 90)
                                                            .tempo(240, 250000)
                                                            .controller(0, 2, 7, 20)
                                                            .noteOff(240, 2, 62)
                                                            .tempo(0, 16777215)
                                                            .noteOn(0, 2, 64, 90)
                                                            .noteOff(960, 2, 64)
                                                            .endOfTrack(0)));

    {
        TrackBody triplets;
        for (int i = 0; i < 6; ++i)
            triplets.noteOn(0, 0, 60 + 2 * i, 70).noteOff(40, 0, 60 + 2 * i);
        triplets.endOfTrack(0);
        pipeline.emplace_back("triplets", plain + one(120, triplets));
        pipeline.emplace_back("triplets-off", prefix(16, 0, 0, 0) + one(120, triplets));
    }

    pipeline.emplace_back("long-notes-long-chords",
                          prefix(2, 2, 0, 0) + one(96, TrackBody()
                                                           .noteOn(0, 0, 48, 64)
                                                           .noteOn(0, 0, 55, 64)
                                                           .noteOn(96, 0, 64, 64)
                                                           .noteOff(24, 0, 64)
                                                           .noteOff(24 * 40, 0, 55)
                                                           .noteOff(0, 0, 48)
                                                           .endOfTrack(0)));

    pipeline.emplace_back("two-tracks-merge",
                          prefix(0, 0, 0, 0x32, 0x02) +
                              song(96, {TrackBody().tempo(0, 600000).endOfTrack(0).str(),
                                        TrackBody().noteOn(0, 0, 60, 64).noteOff(48, 0, 60).endOfTrack(0).str(),
                                        TrackBody().noteOn(24, 1, 72, 64).noteOff(48, 1, 72).endOfTrack(0).str()}));

    pipeline.emplace_back("out-of-range-auto",
                          prefix(1, 0, 0, 0) + one(96, TrackBody()
                                                           .noteOn(0, 0, 5, 64)
                                                           .noteOff(24, 0, 5)
                                                           .noteOn(0, 0, 125, 64)
                                                           .noteOff(3, 0, 125)
                                                           .endOfTrack(0)));

    // Settings byte 3 with bits 2 and 3 set: long songs reach the encoder.
    pipeline.emplace_back("huge-delta-rest",
                          prefix(0, 0, 0, 0x0C) + one(24, TrackBody()
                                              .noteOn(0, 0, 60, 64)
                                              .noteOff(24, 0, 60)
                                              .noteOn(0x0FFFFFFF, 0, 62, 64)
                                              .noteOff(24, 0, 62)
                                              .endOfTrack(0)));

    pipeline.emplace_back("meta-sysex",
                          prefix(0xE0, 0, 0, 0) + one(96, TrackBody()
                                                              .event(0, bytes({0xFF, 0x03, 5, 'P', 'i', 'a', 'n', 'o'}))
                                                              .event(0, bytes({0xFF, 0x58, 4, 6, 3, 24, 8}))
                                                              .event(0, bytes({0xFF, 0x59, 2, 0xFD, 0}))
                                                              .event(0, bytes({0xFF, 0x59, 2, 8, 1}))
                                                              .event(0, bytes({0xFF, 0x21, 1, 0}))
                                                              .event(0, bytes({0xFF, 0x7F, 3, 1, 2, 3}))
                                                              .noteOn(0, 0, 60, 64)
                                                              .event(0, bytes({0xFF, 0x06, 1, 'M'}))
                                                              .raw(bytes({10, 62, 64}))
                                                              .event(0, bytes({0xF0, 3, 1, 2, 0xF7}))
                                                              .raw(bytes({0, 62, 0}))
                                                              .event(0, bytes({0xF3}))
                                                              .event(0, bytes({0xA0, 60, 1, 0, 0xC0, 5, 0, 0xD0, 1}))
                                                              .event(0, bytes({0xE0, 0, 64}))
                                                              .controller(0, 0, 0x5B, 1)
                                                              .controller(0, 0, 1, 1)
                                                              .controller(0, 0, 64, 127)
                                                              .controller(96, 0, 123, 0)
                                                              .endOfTrack(0)));

    pipeline.emplace_back("truncated-track",
                          plain + header(0, 1, 96) + "MTrk" + be32(200) +
                              TrackBody().noteOn(0, 0, 60, 64).noteOff(24, 0, 60).str());

    pipeline.emplace_back("short-declared-length",
                          plain + header(1, 2, 96) + "MTrk" + be32(3) +
                              TrackBody().noteOn(0, 0, 60, 64).noteOff(24, 0, 60).endOfTrack(0).str() +
                              chunk(TrackBody().noteOn(0, 1, 64, 64).endOfTrack(48).str()));

    pipeline.emplace_back("all-notes-off",
                          prefix(0, 3, 0, 0) + one(96, TrackBody()
                                                           .noteOn(0, 3, 60, 64)
                                                           .noteOn(0, 3, 64, 64)
                                                           .controller(48, 3, 120, 0)
                                                           .noteOn(0, 3, 67, 64)
                                                           .controller(48, 3, 127, 0)
                                                           .noteOn(0, 3, 69, 64)
                                                           .noteOn(24, 3, 69, 0)
                                                           .endOfTrack(0)));

    {
        TrackBody all;
        for (int ch = 0; ch < 16; ++ch)
            all.noteOn(0, ch, 48 + 2 * ch, 100).noteOff(24, ch, 48 + 2 * ch);
        all.endOfTrack(0);
        pipeline.emplace_back("sixteen-channels", plain + one(96, all));
        pipeline.emplace_back("sixteen-channels-merge-all", prefix(8, 2, 0, 1) + one(96, all));
        pipeline.emplace_back("sixteen-channels-some-off", prefix(4, 0x39, 5, 0, 0, 0xA5A5) + one(96, all));
    }

    pipeline.emplace_back("smpte-division", plain + one(0xE728, TrackBody().noteOn(0, 0, 60, 64).noteOff(40, 0, 60)));
    pipeline.emplace_back("type2-odd-division",
                          plain + song(100, {TrackBody().noteOn(0, 0, 60, 64).noteOff(33, 0, 60).str()}, 2));
    pipeline.emplace_back("zero-tempo",
                          plain + one(96, TrackBody().tempo(0, 0).noteOn(0, 0, 60, 64).noteOff(96, 0, 60)));

    {
        TrackBody same;
        for (int i = 0; i < 4; ++i)
            same.noteOn(0, 0, 60, 64);
        same.noteOff(48, 0, 60).noteOff(0, 0, 60).noteOff(0, 0, 60).noteOff(0, 0, 60);
        pipeline.emplace_back("identical-notes", prefix(8, 0, 0, 0) + one(96, same));
    }

    {
        TrackBody dense;
        for (int k = 40; k < 90; ++k)
            dense.noteOn(0, 0, k, 64);
        for (int k = 40; k < 90; ++k)
            dense.noteOff(k == 40 ? 7 : 0, 0, k);
        pipeline.emplace_back("dense-chord-poly2", prefix(0, 2, 0, 0) + one(96, dense));
        pipeline.emplace_back("dense-chord-poly1", prefix(0, 1, 0xFD, 0) + one(96, dense));
    }

    pipeline.emplace_back("not-a-track", plain + header(1, 3, 96) + "XXXX" + be32(0) + chunk(""));
    pipeline.emplace_back("no-header", plain + "RIFF" + be32(6));

    for (const auto& [name, data] : pipeline)
        if (!writeFile(dir + "/pipeline/" + name, data))
            return 1;

    const std::vector<std::pair<std::string, std::vector<std::string>>> options = {
        {"plain", {"in.mid"}},
        {"both-names", {"-v", "7", "in.mid", "out.txt"}},
        {"stdout", {"-a", "-e", "-l", "-n", "-u", "in.mid", "-"}},
        {"disable-select", {"-d", "all", "-s", "2,5", "-d3,4", "song.mid"}},
        {"merge", {"-m", "1,2,3", "-m", "4,5", "x.mid"}},
        {"merge-all", {"-m", "all", "-d", "1,,4", "x.mid"}},
        {"polyphony", {"-p", "3@2", "-p", "0", "-l", "-p", "1", "-d", "all", "-s", "2", "-p", "2@0", "x.mid"}},
        {"transpose", {"-t", "-12", "-t", "2147483647", "x.MID"}},
        {"help", {"-h"}},
        {"refused", {"-v", "10", "-m", "4,4", "-q"}},
        {"end-of-options", {"--", "-in.mid", ".mid"}},
        {"backslash", {"-ae", "C:\\dir\\in.mid"}},
    };
    for (const auto& [name, args] : options) {
        std::string data;
        for (std::size_t i = 0; i < args.size(); ++i)
            data += args[i] + (i + 1 < args.size() ? std::string(1, '\0') : std::string());
        if (!writeFile(dir + "/options/" + name, data))
            return 1;
    }
    return 0;
}
