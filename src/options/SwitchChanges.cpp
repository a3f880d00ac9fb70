// A suggestion's switch set as a change of the given command line, and the
// words of that change.
#include "options/SwitchChanges.h"

#include "convert/AmountText.h"
#include "options/Options.h"
#include "options/Scanner.h"
#include "tune/MacroWriter.h"

#include <algorithm>
#include <string_view>

namespace {

// A count that went up or down, in words: "2,431 more notes in their octave".
void difference(std::string& words, std::size_t now, std::size_t before, const char* what)
{
    if (now == before)
        return;
    words += std::string(words.empty() ? "" : ", ") + grouped(now > before ? now - before : before - now) +
             (now > before ? " more " : " fewer ") + what;
}

} // namespace

bool has(const Switches& switches, char letter)
{
    return std::any_of(switches.begin(), switches.end(), [letter](const Switch& s) { return s.letter == letter; });
}

std::string argumentOf(const Switches& switches, char letter)
{
    for (auto s = switches.rbegin(); s != switches.rend(); ++s)
        if (s->letter == letter)
            return s->argument;
    return "";
}

Switches changed(const Switches& given, unsigned bits, int players)
{
    Switches result = given;
    const auto drop = [&result](char letter) {
        const auto named = [letter](const Switch& s) { return s.letter == letter; };
        result.erase(std::remove_if(result.begin(), result.end(), named), result.end());
    };
    for (unsigned i = 0; i < toggleCount; ++i) {
        if ((bits & (1u << i)) == 0)
            continue;
        if (has(given, toggles[i]))
            drop(toggles[i]);
        else
            result.push_back(Switch{toggles[i], ""});
    }
    if (bits & drumsBit)
        result.push_back(Switch{'d', std::to_string(drumChannel)});
    if (bits & bandBit) {
        drop('m');
        drop('P');
        result.push_back(Switch{'P', std::to_string(players)});
    }
    if (bits & splitBit) {
        drop('b');
        result.push_back(Switch{'b', std::to_string(gameParts)});
    }
    return result;
}

std::vector<std::string> typedArguments(const Switches& switches)
{
    std::vector<std::string> args;
    for (const Switch& s : switches) {
        args.push_back(std::string("-") + s.letter);
        if (!s.argument.empty())
            args.push_back(s.argument);
    }
    return args;
}

std::string joined(const std::vector<std::string>& args)
{
    std::string text;
    for (const std::string& a : args)
        text += (text.empty() ? "" : " ") + a;
    return text;
}

std::optional<Switches> scan(const std::vector<std::string>& switches, std::string& errors)
{
    std::vector<std::string> args{"varn2midi"};
    args.insert(args.end(), switches.begin(), switches.end());
    Scanner scanner(args, switchLetters, "varn2midi");
    Switches result;
    int letter = 0;
    while ((letter = scanner.next()) != Scanner::end)
        if (letter != Scanner::failed)
            result.push_back(Switch{static_cast<char>(letter), scanner.argument()});
    errors += scanner.errors();
    if (scanner.index() < args.size())
        errors += "varn2midi: \"" + args[scanner.index()] + "\" is not a switch of the converter\n";
    if (!errors.empty())
        return std::nullopt;
    return result;
}


std::string changeWords(const Switches& given, const Switches& candidate, unsigned bits, const SongFidelity& before,
                        const SongFidelity& now)
{
    std::string switches;
    for (const char letter : std::string_view("koencaum-Pb")) {
        const bool was = has(given, letter);
        const bool is = has(candidate, letter);
        if (letter == '-' && (bits & drumsBit))
            switches += std::string(switches.empty() ? "" : " ") + "+ -d " + std::to_string(drumChannel);
        else if (letter == 'P' && (bits & bandBit) && was)
            switches += std::string(switches.empty() ? "" : " ") + "-P " + argumentOf(candidate, 'P') +
                        " instead of -P " + argumentOf(given, 'P');
        else if (letter == 'P' && (bits & bandBit))
            switches += std::string(switches.empty() ? "" : " ") + "+ -P " + argumentOf(candidate, 'P');
        else if (letter != '-' && letter != 'P' && was != is) {
            switches += switches.empty() ? "" : " ";
            switches += is ? "+ -" : "- -";
            switches += letter;
            if (letter == 'b' && is) {
                switches += ' ';
                switches += std::to_string(gameParts);
            }
        }
    }
    // A given -b above what the game plays is swapped for -b 5.
    const std::string givenSplit = argumentOf(given, 'b');
    const bool splitSwapped = !givenSplit.empty() && has(candidate, 'b') && argumentOf(candidate, 'b') != givenSplit;
    if (splitSwapped)
        switches += std::string(switches.empty() ? "" : " ") + "-b " + argumentOf(candidate, 'b') + " instead of -b " +
                    givenSplit;
    if (switches.empty())
        return "the switches as given";
    std::string effects;
    difference(effects, now.fidelity.played, before.fidelity.played, "notes played");
    difference(effects, now.fidelity.inPitch, before.fidelity.inPitch, "notes in their octave");
    difference(effects, now.fidelity.onTime, before.fidelity.onTime, "notes on time");
    difference(effects, now.fidelity.inLength, before.fidelity.inLength, "notes at their length");
    if (now.fidelity.drums < before.fidelity.drums) {
        const std::size_t drums = before.fidelity.drums - now.fidelity.drums;
        effects += std::string(effects.empty() ? "" : ", ") + grouped(drums) +
                   (drums == 1 ? " drum note no longer played as a pitch" : " drum notes no longer played as pitches");
    }
    if (has(candidate, 'b') && (!has(given, 'b') || splitSwapped))
        effects += std::string(effects.empty() ? "" : ", ") + "played whole in " + std::to_string(now.macros) +
                   (now.macros == 1 ? " macro" : " macros");
    return switches + ": " + (effects.empty() ? "no change" : effects);
}

