// Fuzz target for the web page's module (web/module.cpp), built for a
// 32-bit machine as WebAssembly has it, and called through its C interface
// as the page's script calls it. Whatever the bytes, the words it gives back
// point at what they say, the runs of standard output cover it exactly, the
// macro text is the tunes' blocks, and every description is JSON that the
// script can parse, with finite numbers.
//
// Layout of the input (missing bytes count as 0):
//   0  bits 0..1: 0 and 1 convert (1 with the piano roll), 2 the summary,
//      3 the previews of a macro text (the rest of the input);
//      bit 2: the input could not be opened; bit 3: no input name is added
//   1  convert: the length of the argument bytes that follow, arguments
//      separated by zero bytes; the input name "in.mid" comes after them
//   then the MIDI file
#include "PipelineInput.h"

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

// A description and its numbers, at words[first] on.
void checkDescription(const std::uint32_t* words, std::size_t first)
{
    check(Json(bytesAt(words, first)).valid());
    const auto* numbers = reinterpret_cast<const double*>(static_cast<std::uintptr_t>(words[first + 2]));
    for (std::uint32_t i = 0; i < words[first + 3]; ++i)
        check(std::isfinite(numbers[i]));
}

void checkConvert(const std::uint32_t* words, bool wantRoll)
{
    check(words[0] <= 1);
    // The runs: (start, length, kind), one after the other over standard output.
    const auto* runs = reinterpret_cast<const std::uint32_t*>(static_cast<std::uintptr_t>(words[9]));
    std::uint32_t covered = 0;
    for (std::uint32_t i = 0; i < words[10]; ++i) {
        check(runs[3 * i] == covered && runs[3 * i + 2] <= 10);
        covered += runs[3 * i + 1];
    }
    check(covered == words[2]);
    // The tunes: (channel, status, text, block, macro, macros), one entry
    // per channel, or per macro of a split channel (numbered 1..macros, in
    // order); their blocks make the file.
    const auto* tunes = reinterpret_cast<const std::uint32_t*>(static_cast<std::uintptr_t>(words[11]));
    std::string blocks;
    std::uint32_t channel = 0;
    std::uint32_t macro = 0;
    for (std::uint32_t i = 0; i < words[12]; ++i) {
        const std::uint32_t* tune = tunes + 8 * i;
        const bool nextMacro = tune[0] == channel && macro != 0 && tune[6] == macro + 1;
        check((tune[0] > channel || nextMacro) && tune[0] <= 16 && tune[3] > 0);
        check(tune[6] == 0 ? tune[7] == 0 : tune[6] <= tune[7]);
        check(nextMacro || tune[6] <= 1);
        channel = tune[0];
        macro = tune[6];
        blocks += bytesAt(tune, 4);
    }
    if (words[0] == 0 && bytesAt(words, 7) != "-")
        check(bytesAt(words, 5) == blocks);
    if (words[0] != 0)
        check(words[6] == 0);
    if (wantRoll && words[0] == 0)
        checkDescription(words, 13);
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
    const std::string_view diagnostics = bytesAt(m2v_diagnostics(), 0);
    check(!diagnostics.empty() && diagnostics.front() == '[' && Json(diagnostics).valid());
}

void previews(std::string_view text)
{
    checkDescription(m2v_preview(text.data(), static_cast<std::uint32_t>(text.size())), 0);
    const std::uint32_t* file = m2v_preview_file(text.data(), static_cast<std::uint32_t>(text.size()));
    const std::string_view midi = bytesAt(file, 0);
    check(midi.empty() || midi.substr(0, 4) == "MThd");
    check(!midi.empty() || file[3] > 0); // no file: a remark says why
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    switch (data[0] & 3) {
    case 2: {
        const std::uint32_t* words = m2v_summary(data + 1, static_cast<std::uint32_t>(size - 1));
        check(words[0] <= 1);
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
