// Fuzz target for the tune reader: the input is a macro file or a bare
// tune text, read and turned into a preview file. Whatever the bytes, the
// notes keep the clock's order and sound for no negative time, every issue
// is placed inside the input, memory stays within a small multiple of the
// input, and the preview is a well-framed MIDI file.
#include "tune/Preview.h"
#include "tune/TuneReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

void checkTune(const PlayedTune& tune, std::size_t inputSize)
{
    check(tune.channel >= 1 && tune.channel <= 16);
    check(tune.text.size() <= inputSize);
    check(tune.notes.size() <= tune.text.size());
    std::int64_t last = 0;
    for (const PlayedNote& note : tune.notes) {
        check(note.start >= last && note.start <= tune.end);
        check(note.length >= 0 && note.start + note.length <= tune.end + 999999);
        check(note.pitch >= 47 && note.pitch <= 85);
        check(note.volume >= 1 && note.volume <= 10);
        check(note.letter < tune.text.size());
        check(!note.stuck || note.held);
        last = note.start;
    }
    for (const HeldEnd& end : tune.heldEnds)
        check(end.note < tune.notes.size() && tune.notes[end.note].held && end.letter < tune.text.size());
    for (const TempoMark& mark : tune.tempos)
        check(mark.bpm >= 60 && mark.bpm <= 180 && mark.clock >= 0 && mark.clock <= tune.end);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const TuneRead read = readTunes(input);
    check(read.issues.size() <= TuneRead::maxIssues);
    check(read.issues.size() <= read.errors + read.warnings);
    for (const ReadIssue& issue : read.issues)
        check(issue.offset <= size && issue.line >= 1 && issue.column >= 1 && !issue.text.empty());
    for (const PlayedTune& tune : read.tunes)
        checkTune(tune, size);

    const Preview preview = makePreview(read);
    if (!read.tunes.empty()) {
        check(preview.midi.size() >= 14 && preview.midi.compare(0, 4, "MThd") == 0);
        // Every chunk's declared length is what follows it.
        std::size_t at = 14;
        while (at < preview.midi.size()) {
            check(preview.midi.compare(at, 4, "MTrk") == 0 && at + 8 <= preview.midi.size());
            const auto byte = [&](std::size_t i) { return static_cast<std::size_t>(static_cast<unsigned char>(preview.midi[i])); };
            const std::size_t length = byte(at + 4) << 24 | byte(at + 5) << 16 | byte(at + 6) << 8 | byte(at + 7);
            at += 8 + length;
        }
        check(at == preview.midi.size());
    }
    return 0;
}
