// The converter for the web page, as a WebAssembly module with a plain C
// interface: one call runs the command-line program on a file in memory
// and keeps what it would print and write (and, for the page's piano roll,
// where each note went) until the next call, where the page's script reads
// it; others read a macro text back, as varn2midi does.
#include "convert/Bars.h"
#include "convert/Conversion.h"
#include "convert/DepartureReport.h"
#include "convert/Summary.h"
#include "options/FileNames.h"
#include "options/Options.h"
#include "options/PreviewOptions.h"
#include "tune/Preview.h"
#include "tune/TuneReader.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

static_assert(sizeof(void*) == 4, "the interface passes addresses as 32-bit words");

namespace {

std::uint32_t address(const void* p)
{
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p));
}

std::uint32_t size32(std::size_t n)
{
    return static_cast<std::uint32_t>(n);
}

// A description for the script: a JSON text for the small things, and one
// array of numbers for the large tables of notes, which the JSON names as
// [offset in the numbers, count of rows].
class Description {
public:
    std::string json;
    std::vector<double> numbers;

    void raw(std::string_view text) { json += text; }
    void number(double value)
    {
        if (!std::isfinite(value))
            value = 0;
        char buffer[32];
        const int n = std::snprintf(buffer, sizeof buffer, "%.17g", value);
        json.append(buffer, static_cast<std::size_t>(std::clamp(n, 0, static_cast<int>(sizeof buffer) - 1)));
    }
    void integer(std::int64_t value) { json += std::to_string(value); }
    // A string as JSON: ASCII as it is, other bytes read as Latin-1.
    void string(std::string_view text)
    {
        static const char hex[] = "0123456789abcdef";
        json += '"';
        std::size_t plain = 0; // start of the characters not yet appended
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto byte = static_cast<unsigned char>(text[i]);
            if (byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\')
                continue;
            json.append(text.substr(plain, i - plain));
            plain = i + 1;
            if (byte == '"' || byte == '\\') {
                json += '\\';
                json += text[i];
            } else {
                json += "\\u00";
                json += hex[byte >> 4];
                json += hex[byte & 15];
            }
        }
        json.append(text.substr(plain));
        json += '"';
    }
    void key(std::string_view name)
    {
        if (!json.empty() && json.back() != '{' && json.back() != '[')
            json += ',';
        string(name);
        json += ':';
    }
    // Starts a table of `columns` numbers a row; rows follow with row().
    void table(std::size_t columns)
    {
        columns_ = columns;
        first_ = numbers.size();
    }
    void row(std::initializer_list<double> values) { numbers.insert(numbers.end(), values); }
    // Ends the table as its [offset, rows].
    void tableEnd()
    {
        json += '[' + std::to_string(first_) + ',' + std::to_string((numbers.size() - first_) / columns_) + ']';
    }

private:
    std::size_t columns_ = 1;
    std::size_t first_ = 0;
};

constexpr double none = -1;

double indexOrNone(std::size_t index)
{
    return index == noNote ? none : static_cast<double>(index);
}

// A played tune's notes: start and length in sixteenths, pitch, velocity,
// start and duration in seconds by its tempo marks, and flags (1 held, 2
// stuck). With `all`, every note in the tune's order, also those of no
// length (that no preview plays), so that row numbers are note indices;
// else the notes a preview plays, ordered by start, then pitch.
void playedNotes(Description& out, const PlayedTune& tune, bool all)
{
    const TuneClock clock(tune.tempos);
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < tune.notes.size(); ++i)
        if (all || tune.notes[i].length > 0)
            order.push_back(i);
    if (!all)
        std::stable_sort(order.begin(), order.end(), [&tune](std::size_t a, std::size_t b) {
            const PlayedNote& x = tune.notes[a];
            const PlayedNote& y = tune.notes[b];
            return x.start != y.start ? x.start < y.start : x.pitch < y.pitch;
        });
    out.table(7);
    for (const std::size_t i : order) {
        const PlayedNote& n = tune.notes[i];
        const double seconds = clock.seconds(n.start);
        out.row({static_cast<double>(n.start), static_cast<double>(n.length), static_cast<double>(n.pitch),
                 static_cast<double>(previewVelocity(n.volume)), seconds, clock.seconds(n.start + n.length) - seconds,
                 static_cast<double>((n.held ? 1 : 0) | (n.stuck ? 2 : 0))});
    }
    out.tableEnd();
}

// What the page's piano roll shows of a conversion: per channel with a
// tune, the MIDI file's notes after the switches (start and duration in
// ticks, pitch, fate: 0 written, 1 identical, 2 polyphony, 3 cut), the
// notes the tune plays, read back, the departures (kind, place in ticks,
// the file's note and the played note by row, or -1) with their report
// lines and words, both tempo maps; and the bars of the file.
std::string describeRoll(const Conversion& result, const Settings& settings, const std::string& outputName,
                         std::vector<double>& numbers)
{
    Description out;
    const DepartureTrace& trace = result.trace;
    out.raw("{");
    out.key("division");
    out.integer(trace.division);
    out.key("upperC");
    out.raw(settings.upperC ? "true" : "false");
    out.key("previewName");
    out.string(withExtension(outputName, previewExtension));
    out.key("metres");
    out.raw("[");
    const Bars bars(trace.division, trace.signatures);
    for (const Bars::Metre& m : bars.metres()) {
        out.raw(out.json.back() == '[' ? "[" : ",[");
        out.number(static_cast<double>(m.start) / 24);
        out.raw(",");
        out.integer(m.firstBar);
        out.raw("," + std::to_string(m.numerator) + "," + std::to_string(m.denominator) + "]");
    }
    out.raw("]");
    out.key("channels");
    out.raw("[");
    for (const TuneRecord& record : result.tunes) {
        const int channel = record.channel;
        const auto t = std::find_if(trace.channels.begin(), trace.channels.end(),
                                    [&](const ChannelTrace& c) { return c.channel == channel; });
        const auto p = std::find_if(result.played.tunes.begin(), result.played.tunes.end(),
                                    [&](const PlayedTune& tune) { return tune.channel == channel; });
        const auto d = std::find_if(result.departures.begin(), result.departures.end(),
                                    [&](const ChannelDepartures& c) { return c.channel == channel; });
        if (t == trace.channels.end() || p == result.played.tunes.end() || d == result.departures.end())
            continue;
        if (out.json.back() != '[')
            out.raw(",");
        out.raw("{");
        out.key("channel");
        out.integer(channel);
        out.key("polyphony");
        out.integer(t->polyphony);
        out.key("summary");
        out.string(formatSummary(*d));
        out.key("source");
        out.table(4);
        for (const TracedNote& n : t->notes)
            out.row({static_cast<double>(n.tick), static_cast<double>(n.ticks), static_cast<double>(n.pitch),
                     static_cast<double>(n.fate)});
        out.tableEnd();
        out.key("played");
        playedNotes(out, *p, true);
        out.key("end");
        out.integer(p->end);
        out.key("departures");
        out.table(4);
        for (const Departure& x : d->departures)
            out.row({static_cast<double>(x.kind), static_cast<double>(x.position) / 24, indexOrNone(x.note),
                     indexOrNone(x.played)});
        out.tableEnd();
        out.key("lines");
        out.raw("[");
        for (std::size_t i = 0; i < d->departures.size(); ++i) {
            if (i)
                out.raw(",");
            out.string(formatDeparture(d->departures[i]));
        }
        out.raw("]");
        out.key("words");
        out.raw("[");
        for (std::size_t i = 0; i < d->departures.size(); ++i) {
            if (i)
                out.raw(",");
            out.string(d->departures[i].words);
        }
        out.raw("]");
        out.key("tempos");
        out.raw("[");
        for (const TempoMark& m : p->tempos) {
            out.raw(out.json.back() == '[' ? "[" : ",[");
            out.integer(m.clock);
            out.raw("," + std::to_string(m.bpm) + "]");
        }
        out.raw("]");
        out.key("midiTempos");
        out.raw("[");
        for (const TempoChange& c : t->tempos) {
            out.raw(out.json.back() == '[' ? "[" : ",[");
            out.integer(c.tick);
            out.raw("," + std::to_string(c.bpm) + "]");
        }
        out.raw("]}");
    }
    out.raw("]}");
    numbers = std::move(out.numbers);
    return std::move(out.json);
}

// What one run gives: exit status, standard output, standard error, the
// output file's bytes, and the tunes. Standard output is also described as
// runs of consecutive pieces of one level (or of macro text), so that the
// page can tell the levels apart without scanning the text again.
class Outcome {
public:
    int status = 1;
    std::string console;
    std::string errors;
    std::string text;
    std::string outputName;
    std::vector<TuneRecord> tunes;
    // With the roll asked for: its description and numbers.
    std::string roll;
    std::vector<double> rollNumbers;

    // Appends a piece of standard output at `level` (macro text: `macro`).
    void add(Level level, bool macro, std::string_view piece)
    {
        const auto kind = macro ? macroKind : static_cast<std::uint32_t>(level);
        if (runs_.empty() || runs_.back().kind != kind)
            runs_.push_back(Run{size32(console.size()), 0, kind});
        console.append(piece);
        runs_.back().length += size32(piece.size());
    }

    // The words the script reads: status, then address and length of the
    // standard output, standard error, file text and output name, then
    // address and count of the runs (start, length, kind: level 0..9 or 10
    // for macro text) and of the tunes (channel, status bits, tune text,
    // macro block, and for a split channel the macro's number and the
    // channel's count of macros, else 0 and 0; one entry per macro), then address and length of the roll's description and
    // address and count of its numbers.
    const std::uint32_t* publish()
    {
        tuneWords_.clear();
        for (const TuneRecord& tune : tunes) {
            if (tune.pieces.empty() || tune.blocks.size() != tune.pieces.size()) {
                addTune(tune, tune.text, tune.block, 0);
                continue;
            }
            // A split channel: one entry per macro, in order.
            for (std::size_t k = 0; k < tune.pieces.size(); ++k) {
                const std::size_t text = k + 1 < tune.pieces.size() ? tune.pieces[k + 1] : tune.text.size();
                const std::size_t block = k + 1 < tune.blocks.size() ? tune.blocks[k + 1] : tune.block.size();
                addTune(tune, std::string_view(tune.text).substr(tune.pieces[k], text - tune.pieces[k]),
                        std::string_view(tune.block).substr(tune.blocks[k], block - tune.blocks[k]), k + 1);
            }
        }
        words_ = {static_cast<std::uint32_t>(status),
                  address(console.data()),
                  size32(console.size()),
                  address(errors.data()),
                  size32(errors.size()),
                  address(text.data()),
                  size32(text.size()),
                  address(outputName.data()),
                  size32(outputName.size()),
                  address(runs_.data()),
                  size32(runs_.size()),
                  address(tuneWords_.data()),
                  size32(tuneWords_.size() / tuneStride),
                  address(roll.data()),
                  size32(roll.size()),
                  address(rollNumbers.data()),
                  size32(rollNumbers.size())};
        return words_.data();
    }

private:
    static constexpr std::uint32_t macroKind = 10;
    struct Run {
        std::uint32_t start;
        std::uint32_t length;
        std::uint32_t kind;
    };
    // Words per entry of the tunes.
    static constexpr std::size_t tuneStride = 8;
    std::vector<Run> runs_;
    std::vector<std::uint32_t> tuneWords_;
    std::vector<std::uint32_t> words_;

    // One entry of the tunes: macro `macro` of the tune (0: the whole tune).
    void addTune(const TuneRecord& tune, std::string_view text, std::string_view block, std::size_t macro)
    {
        const std::size_t macros = macro == 0 ? 0 : tune.pieces.size();
        tuneWords_.insert(tuneWords_.end(),
                          {size32(static_cast<std::size_t>(tune.channel)), bitsOf(tune.status),
                           address(text.data()), size32(text.size()), address(block.data()), size32(block.size()),
                           size32(macro), size32(macros)});
    }
};

// The last run's outcome, kept for the script to read.
Outcome last;

// The last run's diagnostics (those of its command line, then those of its
// conversion), their description and its words, kept for the script to read.
Diagnostics lastDiagnostics;
std::string diagnosticsText;
std::uint32_t diagnosticsWords[2];

// The diagnostics as a JSON array, one object per occurrence kept, in
// order: {code: the code's name, level, channel (0: none), args: the
// integer arguments, count: how often the code occurred in the run,
// internal: whether it is an internal check, text: the console line as made
// from the values}.
std::string describeDiagnostics(const Diagnostics& diagnostics)
{
    Description out;
    out.raw("[");
    for (const Diagnostic& d : diagnostics.kept()) {
        out.raw(out.json.back() == '[' ? "{" : ",{");
        out.key("code");
        out.string(codeInfo(d.code).name);
        out.key("level");
        out.integer(static_cast<int>(d.level));
        out.key("channel");
        out.integer(d.channel);
        out.key("args");
        out.raw("[");
        for (const int arg : d.args()) {
            if (out.json.back() != '[')
                out.raw(",");
            out.integer(arg);
        }
        out.raw("]");
        out.key("count");
        out.integer(diagnostics.count(d.code));
        out.key("internal");
        out.raw(codeInfo(d.code).internal ? "true" : "false");
        out.key("text");
        out.string(d.text);
        out.raw("}");
    }
    out.raw("]");
    return std::move(out.json);
}

// The program's run, as src/app/midi2varn.cpp makes it, with the input's
// bytes in memory (or none: the input could not be opened) and the output
// file's bytes kept instead of written.
void run(const std::vector<std::string>& args, const unsigned char* midi, std::size_t midiSize, bool inputRead,
         bool wantRoll, Outcome& outcome)
{
    // Without a file system the same-file check compares the names.
    const CommandLine commandLine = parseOptions(args, sameName);
    lastDiagnostics = commandLine.diagnostics;
    outcome.errors = commandLine.errors;
    if (!commandLine.proceed) {
        for (const ConsoleLine& line : commandLine.lines)
            outcome.add(line.level, false, line.text);
        outcome.status = commandLine.status;
        return;
    }
    outcome.outputName = commandLine.outputName;
    ConversionRequest request;
    request.settings = commandLine.settings;
    request.inputName = commandLine.inputName;
    request.outputName = commandLine.outputName;
    request.inputRead = inputRead;
    if (inputRead)
        request.midi = std::span(midi, midiSize);
    request.preamble = commandLine.lines;
    request.keepBlocks = true; // the page offers each channel's block on its own
    request.wantDepartures = wantRoll;
    Conversion result =
        convert(request, [&outcome](const ConsoleText& piece) { outcome.add(piece.level, piece.macro, piece.text); });
    outcome.status = result.status;
    lastDiagnostics.append(result.diagnostics);
    if (wantRoll && result.status == 0)
        outcome.roll = describeRoll(result, commandLine.settings, commandLine.outputName, outcome.rollNumbers);
    if (result.status == 0)
        outcome.text = std::move(result.macroText);
    outcome.tunes = std::move(result.tunes);
}

// The last summary's words, kept for the script to read.
std::uint32_t summaryWords[3 + channelCount];

// The last preview's description and numbers, or preview file and its
// remarks, kept for the script to read.
std::string previewText;
std::vector<double> previewNumbers;
std::string previewRemarks;
std::uint32_t previewWords[4];

// "LINE:COLUMN: error: TEXT" (or "warning:").
std::string issueText(const ReadIssue& issue)
{
    std::string text = formatIssue("", issue);
    text.erase(0, 1);
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

// The notes each tune of `text` plays: per tune its channel (null for a
// bare tune text), its notes ordered by start, then pitch (as
// playedNotes, without notes of no length), and the reader's messages
// about it in the order of their places: those placed from its start up to
// the next tune's (those before the first tune count for the first).
std::string describePreview(std::string_view text, std::vector<double>& numbers)
{
    const TuneRead read = readTunes(text);
    // Each message goes to the last tune starting at or before it.
    std::vector<std::vector<std::size_t>> messages(read.tunes.size());
    for (std::size_t k = 0; k < read.issues.size() && !read.tunes.empty(); ++k) {
        const auto after = std::upper_bound(read.tunes.begin(), read.tunes.end(), read.issues[k].offset,
                                            [](std::size_t at, const PlayedTune& t) { return at < t.offset; });
        messages[after == read.tunes.begin() ? 0 : static_cast<std::size_t>(after - read.tunes.begin()) - 1]
            .push_back(k);
    }
    for (std::vector<std::size_t>& list : messages)
        std::stable_sort(list.begin(), list.end(), [&read](std::size_t a, std::size_t b) {
            return read.issues[a].offset < read.issues[b].offset;
        });
    Description out;
    out.raw("[");
    for (std::size_t i = 0; i < read.tunes.size(); ++i) {
        const PlayedTune& tune = read.tunes[i];
        out.raw(i ? ",{" : "{");
        out.key("channel");
        if (read.macro)
            out.integer(tune.channel);
        else
            out.raw("null");
        out.key("notes");
        playedNotes(out, tune, false);
        out.key("warnings");
        out.raw("[");
        for (std::size_t k = 0; k < messages[i].size(); ++k) {
            if (k)
                out.raw(",");
            out.string(issueText(read.issues[messages[i][k]]));
        }
        out.raw("]}");
    }
    out.raw("]");
    numbers = std::move(out.numbers);
    return std::move(out.json);
}

} // namespace

extern "C" {

// Runs the program with the arguments after its name: `argCount` strings,
// one after the other in `argText`, with their lengths in `argLengths`.
// `midi` holds the input's bytes; `inputRead` 0 stands for an input that
// could not be opened. Returns the words that describe the outcome; they
// and what they point to stay valid until the next call.
// With `wantRoll`, every note is also followed through the conversion for
// the piano roll (see describeRoll).
const std::uint32_t* m2v_convert(const unsigned char* midi, std::uint32_t midiSize, int inputRead,
                                 const char* argText, const std::uint32_t* argLengths, std::uint32_t argCount,
                                 int wantRoll)
{
    last = Outcome{};
    std::vector<std::string> args{"midi2varn"};
    std::size_t offset = 0;
    for (std::uint32_t i = 0; i < argCount; ++i) {
        args.emplace_back(argText + offset, argLengths[i]);
        offset += argLengths[i];
    }
    run(args, midi, midiSize, inputRead != 0, wantRoll != 0, last);
    return last.publish();
}

// The last run's diagnostics (see describeDiagnostics): address and length
// of their JSON text.
const std::uint32_t* m2v_diagnostics()
{
    diagnosticsText = describeDiagnostics(lastDiagnostics);
    diagnosticsWords[0] = address(diagnosticsText.data());
    diagnosticsWords[1] = size32(diagnosticsText.size());
    return diagnosticsWords;
}

// Sums up the MIDI file `midi`: readable (0 or 1), first tempo, tempo
// changes, then the notes of channels 1 to 16.
const std::uint32_t* m2v_summary(const unsigned char* midi, std::uint32_t midiSize)
{
    const MidiSummary summary = summarize(std::span(midi, midiSize));
    summaryWords[0] = summary.readable ? 1 : 0;
    summaryWords[1] = static_cast<std::uint32_t>(summary.firstTempo);
    summaryWords[2] = static_cast<std::uint32_t>(summary.tempoChanges);
    for (int ch = 0; ch < channelCount; ++ch)
        summaryWords[3 + ch] = static_cast<std::uint32_t>(summary.notes[static_cast<std::size_t>(ch)]);
    return summaryWords;
}

// The notes a macro text (or a bare tune text) plays, tune by tune: the
// address and length of the description (see describePreview), then the
// address and count of its numbers.
const std::uint32_t* m2v_preview(const char* text, std::uint32_t size)
{
    previewText.clear();
    previewNumbers.clear();
    previewText = describePreview(std::string_view(text, size), previewNumbers);
    previewWords[0] = address(previewText.data());
    previewWords[1] = size32(previewText.size());
    previewWords[2] = address(previewNumbers.data());
    previewWords[3] = size32(previewNumbers.size());
    return previewWords;
}

// The preview file varn2midi writes for a macro text: the address and
// length of its bytes (none when the text holds no tune or is too long for
// a MIDI file), then of its remarks, one a line.
const std::uint32_t* m2v_preview_file(const char* text, std::uint32_t size)
{
    previewNumbers.clear();
    const TuneRead read = readTunes(std::string_view(text, size));
    Preview preview;
    if (!read.tunes.empty())
        preview = makePreview(read);
    else
        preview.remarks.push_back("The text holds no tune.");
    previewText = std::move(preview.midi);
    previewRemarks.clear();
    for (const std::string& remark : preview.remarks)
        previewRemarks += remark + "\n";
    previewWords[0] = address(previewText.data());
    previewWords[1] = size32(previewText.size());
    previewWords[2] = address(previewRemarks.data());
    previewWords[3] = size32(previewRemarks.size());
    return previewWords;
}

} // extern "C"
