// Fuzz target for the command line: the input, split at zero bytes, is the
// argument vector after the program name. Every accepted command line must
// give settings the later stages rely on, and every reading must record
// whole lines and depend on nothing but its arguments.
#include "core/Message.h"
#include "core/Settings.h"
#include "options/Options.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr std::size_t maxArgs = 64;

// Merge lists name each channel at most once, never a target as a source.
bool mergesValid(const Settings& settings)
{
    std::array<int, channelCount> seen{};
    for (int t = 0; t < channelCount; ++t) {
        for (int source : settings.mergeList[t]) {
            if (source < 0 || source >= channelCount || source == t)
                return false;
            if (++seen[source] > 1 || !settings.mergeList[source].empty())
                return false;
        }
    }
    return true;
}

bool settingsValid(const Settings& settings)
{
    const int level = static_cast<int>(settings.verbosity);
    if (level < 0 || level > 9 || !mergesValid(settings))
        return false;
    for (int ch = 0; ch < channelCount; ++ch) {
        if (settings.polyphony[ch] < 0)
            return false;
        if (settings.longChords && settings.active[ch] && settings.polyphony[ch] == 1)
            return false;
    }
    return true;
}

// The banner first, then whole lines only.
bool linesValid(const std::vector<ConsoleLine>& lines)
{
    if (lines.empty() || lines[0].level != Level::Fatal)
        return false;
    for (const ConsoleLine& line : lines)
        if (line.text.empty() || line.text.find('\n') != line.text.size() - 1)
            return false;
    return true;
}

bool sameResult(const CommandLine& a, const CommandLine& b)
{
    if (a.proceed != b.proceed || a.status != b.status || a.inputName != b.inputName ||
        a.outputName != b.outputName || a.errors != b.errors || a.lines.size() != b.lines.size())
        return false;
    for (std::size_t i = 0; i < a.lines.size(); ++i)
        if (a.lines[i].level != b.lines[i].level || a.lines[i].text != b.lines[i].text)
            return false;
    const Settings& s = a.settings;
    const Settings& t = b.settings;
    return s.autoTranspose == t.autoTranspose && s.transpose == t.transpose && s.longChords == t.longChords &&
           s.upperC == t.upperC && s.eliminateIdentical == t.eliminateIdentical && s.triplets == t.triplets &&
           s.mergeList == t.mergeList && s.active == t.active && s.polyphony == t.polyphony &&
           s.verbosity == t.verbosity && s.keepOuterVoices == t.keepOuterVoices;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> args{"midi2varn"};
    std::string current;
    for (std::size_t i = 0; i < size && args.size() < maxArgs; ++i) {
        if (data[i] == 0) {
            args.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    if (args.size() < maxArgs && (size == 0 || data[size - 1] != 0))
        args.push_back(current);

    const CommandLine result = parseOptions(args);
    if (!linesValid(result.lines) || result.status != (result.proceed ? 0 : 1))
        __builtin_trap();
    if (result.proceed && !settingsValid(result.settings))
        __builtin_trap();
    // A second reading of the same line gives the same result.
    if (!sameResult(result, parseOptions(args)))
        __builtin_trap();
    return 0;
}
