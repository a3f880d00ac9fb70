// Fuzz target for the web page's module (web/module.cpp), built for a
// 32-bit machine as WebAssembly has it, and called through its C interface
// as the page's script calls it. Whatever the bytes, the words it gives back
// point at what they say, the runs of standard output cover it exactly, the
// macro text is the tunes' blocks, every description (the contract and the
// departures' lines included) is JSON that the script can parse, with
// finite numbers. Records are read by the names of the module's layouts.
//
// Layout of the input (missing bytes count as 0):
//   0  bits 0..1: 0 and 1 convert (1 with the piano roll), 2 the summary,
//      3 the previews of a macro text (the rest of the input);
//      bit 2: the input could not be opened; bit 3: no input name is added
//   1  convert: the length of the argument bytes that follow, arguments
//      separated by zero bytes; the input name "in.mid" comes after them
//   then the MIDI file
#include "PipelineInput.h"
#include "describe.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

extern "C" {
const std::uint32_t* m2v_convert(const unsigned char* midi, std::uint32_t midiSize, int inputRead,
                                 const char* argText, const std::uint32_t* argLengths, std::uint32_t argCount,
                                 int wantRoll);
const std::uint32_t* m2v_diagnostics();
const std::uint32_t* m2v_summary(const unsigned char* midi, std::uint32_t midiSize);
const std::uint32_t* m2v_preview(const char* text, std::uint32_t size);
const std::uint32_t* m2v_preview_file(const char* text, std::uint32_t size);
const std::uint32_t* m2v_contract();
const std::uint32_t* m2v_departures(std::uint32_t channel, const std::uint32_t* indices, std::uint32_t count);
}

static_assert(sizeof(void*) == 4, "built with -m32, as the module is in WebAssembly");

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

std::string_view bytesAt(const std::uint32_t* words, std::size_t i)
{
    return {reinterpret_cast<const char*>(static_cast<std::uintptr_t>(words[i])), words[i + 1]};
}

// A JSON reader just strict enough to tell what JSON.parse would refuse.
class Json {
public:
    explicit Json(std::string_view text) : text_(text) {}
    bool valid()
    {
        return value(0) && at_ == text_.size();
    }

private:
    bool value(int depth)
    {
        if (depth > 64 || at_ >= text_.size())
            return false;
        const char c = text_[at_];
        if (c == '{' || c == '[')
            return list(c == '{' ? '}' : ']', c == '{', depth);
        if (c == '"')
            return string();
        for (const std::string_view word : {"true", "false", "null"})
            if (text_.substr(at_, word.size()) == word) {
                at_ += word.size();
                return true;
            }
        return number();
    }
    bool list(char close, bool object, int depth)
    {
        ++at_;
        if (at_ < text_.size() && text_[at_] == close) {
            ++at_;
            return true;
        }
        while (true) {
            if (object && !(string() && take(':')))
                return false;
            if (!value(depth + 1))
                return false;
            if (take(close))
                return true;
            if (!take(','))
                return false;
        }
    }
    bool string()
    {
        if (!take('"'))
            return false;
        while (at_ < text_.size() && text_[at_] != '"') {
            const auto c = static_cast<unsigned char>(text_[at_]);
            if (c < 0x20 || c >= 0x7F)
                return false;
            at_ += c == '\\' ? 2 : 1;
        }
        return take('"');
    }
    bool number()
    {
        const std::size_t start = at_;
        while (at_ < text_.size() && std::string_view("-+.eE0123456789").find(text_[at_]) != std::string_view::npos)
            ++at_;
        if (at_ == start)
            return false;
        const std::string digits(text_.substr(start, at_ - start));
        char* end = nullptr;
        const double value = std::strtod(digits.c_str(), &end);
        return end == digits.c_str() + digits.size() && std::isfinite(value);
    }
    bool take(char c)
    {
        if (at_ >= text_.size() || text_[at_] != c)
            return false;
        ++at_;
        return true;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

// A field of a record of `layout` at `words`.
#define FIELD(words, layout, name) (words)[fieldAt(layouts::layout, name)]

// A description and its numbers, at words[first] on (layouts::description,
// or the roll's fields of layouts::outcome, in the same order).
void checkDescription(const std::uint32_t* words, std::size_t first)
{
    const std::uint32_t* d = words + first;
    check(Json(bytesAt(d, fieldAt(layouts::description, "at"))).valid());
    const auto* numbers = reinterpret_cast<const double*>(static_cast<std::uintptr_t>(FIELD(d, description, "numbersAt")));
    for (std::uint32_t i = 0; i < FIELD(d, description, "numbersCount"); ++i)
        check(std::isfinite(numbers[i]));
}

void checkConvert(const std::uint32_t* words, bool wantRoll)
{
    const std::uint32_t status = FIELD(words, outcome, "status");
    check(status <= 1);
    // The runs, one after the other over standard output.
    constexpr std::size_t runWidth = widthOf(layouts::run);
    const auto* runs = reinterpret_cast<const std::uint32_t*>(static_cast<std::uintptr_t>(FIELD(words, outcome, "runsAt")));
    std::uint32_t covered = 0;
    for (std::uint32_t i = 0; i < FIELD(words, outcome, "runsCount"); ++i) {
        const std::uint32_t* run = runs + runWidth * i;
        check(FIELD(run, run, "start") == covered && FIELD(run, run, "kind") <= macroRun);
        covered += FIELD(run, run, "length");
    }
    check(covered == FIELD(words, outcome, "consoleLength"));
    // The tunes: one entry per channel, or per macro of a split channel
    // (numbered 1..macros, in order); their blocks make the file.
    const auto* tunes = reinterpret_cast<const std::uint32_t*>(static_cast<std::uintptr_t>(FIELD(words, outcome, "tunesAt")));
    std::string blocks;
    std::uint32_t channel = 0;
    std::uint32_t macro = 0;
    for (std::uint32_t i = 0; i < FIELD(words, outcome, "tunesCount"); ++i) {
        const std::uint32_t* tune = tunes + widthOf(layouts::tune) * i;
        const std::uint32_t number = FIELD(tune, tune, "macro");
        const std::uint32_t macros = FIELD(tune, tune, "macros");
        const bool nextMacro = FIELD(tune, tune, "channel") == channel && macro != 0 && number == macro + 1;
        check((FIELD(tune, tune, "channel") > channel || nextMacro) && FIELD(tune, tune, "channel") <= channelCount &&
              FIELD(tune, tune, "textLength") > 0);
        check(number == 0 ? macros == 0 : number <= macros);
        check(nextMacro || number <= 1);
        channel = FIELD(tune, tune, "channel");
        macro = number;
        blocks += bytesAt(tune, fieldAt(layouts::tune, "blockAt"));
    }
    if (status == 0 && bytesAt(words, fieldAt(layouts::outcome, "nameAt")) != "-")
        check(bytesAt(words, fieldAt(layouts::outcome, "textAt")) == blocks);
    if (status != 0)
        check(FIELD(words, outcome, "textLength") == 0);
    if (wantRoll && status == 0) {
        checkDescription(words, fieldAt(layouts::outcome, "rollAt"));
        // The lines of a few departures of each channel, any index.
        const std::uint32_t indices[] = {0, 1, 7, 1000000};
        // A channel without departures (0 is none) gives no text at all.
        for (std::uint32_t ch = 0; ch <= channelCount; ++ch) {
            const std::uint32_t* d = m2v_departures(ch, indices, 4);
            if (FIELD(d, description, "length") != 0)
                checkDescription(d, 0);
        }
    }
}

void convert(const std::uint8_t* data, std::size_t size)
{
    const std::size_t argBytes = std::min<std::size_t>(size < 2 ? 0 : data[1], size < 2 ? 0 : size - 2);
    const std::string_view argArea(reinterpret_cast<const char*>(data) + 2, argBytes);
    const std::span<const unsigned char> midi(data + 2 + argBytes, size < 2 ? 0 : size - 2 - argBytes);
    if (songQuarters(midi) > longSong)
        return;
    std::string text;
    std::vector<std::uint32_t> lengths;
    std::size_t from = 0;
    while (from < argArea.size()) {
        const std::size_t end = std::min(argArea.find('\0', from), argArea.size());
        text.append(argArea.substr(from, end - from));
        lengths.push_back(static_cast<std::uint32_t>(end - from));
        from = end + 1;
    }
    if ((data[0] & 8) == 0) {
        text += "in.mid";
        lengths.push_back(6);
    }
    const bool wantRoll = (data[0] & 3) == 1;
    const std::uint32_t* words =
        m2v_convert(midi.data(), static_cast<std::uint32_t>(midi.size()), (data[0] & 4) == 0, text.data(),
                    lengths.data(), static_cast<std::uint32_t>(lengths.size()), wantRoll);
    checkConvert(words, wantRoll);
    // The run's diagnostics: a JSON array of objects.
    const std::string_view diagnostics = bytesAt(m2v_diagnostics(), fieldAt(layouts::description, "at"));
    check(!diagnostics.empty() && diagnostics.front() == '[' && Json(diagnostics).valid());
}

void previews(std::string_view text)
{
    checkDescription(m2v_preview(text.data(), static_cast<std::uint32_t>(text.size())), 0);
    const std::uint32_t* file = m2v_preview_file(text.data(), static_cast<std::uint32_t>(text.size()));
    const std::string_view midi = bytesAt(file, 0);
    check(midi.empty() || midi.substr(0, 4) == "MThd");
    check(!midi.empty() || FIELD(file, previewFile, "remarksLength") > 0); // no file: a remark says why
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    checkDescription(m2v_contract(), 0);
    switch (data[0] & 3) {
    case 2: {
        const std::uint32_t* words = m2v_summary(data + 1, static_cast<std::uint32_t>(size - 1));
        check(FIELD(words, summary, "readable") <= 1);
        break;
    }
    case 3:
        previews(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
        break;
    default:
        convert(data, size);
    }
    return 0;
}
