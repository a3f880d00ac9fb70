// Suggestions: each candidate switch set is a change of the given command
// line (switches turned on or off, the drum channel left out, -b 5 added),
// converted in memory and scored by the share of the song's notes its
// tunes play as written.
#include "options/Suggest.h"

#include "convert/AmountText.h"
#include "convert/Conversion.h"
#include "options/Options.h"
#include "options/SwitchChanges.h"
#include "tune/MacroWriter.h"

#include <algorithm>
#include <optional>
#include <string_view>

namespace {

// Bits of the toggles every combination is tried of (-k, -o, -e, -n), of
// -c (tried both ways when a polyphony limit is given), and of the rest,
// tried alone and on the best of the combinations (-a, -u).
constexpr unsigned combined = 0b1111;
constexpr unsigned outerVoicesBit = 1u << 4;
constexpr unsigned lateBits[] = {1u << 5, 1u << 6, (1u << 5) | (1u << 6)};
// The best sets measured again without the drums.
constexpr std::size_t drumFinalists = 4;

// The song's figures under `args`, and the tunes it writes in `tunes`.
std::optional<SongFidelity> measure(const std::vector<std::string>& args, std::span<const unsigned char> midi,
                                    int& tunes);

// One candidate as measured, with the bits of its changes.
struct Measured {
    unsigned bits;
    Candidate candidate;
};

// Whether the game plays a candidate whole; while -b 5 is still to be
// tried on the sets that need it (`splitLater`), every set counts as whole.
bool whole(const Candidate& c, bool splitLater)
{
    return c.playsWhole || splitLater;
}

bool better(const Candidate& a, const Candidate& b, bool splitLater)
{
    if (whole(a, splitLater) != whole(b, splitLater))
        return whole(a, splitLater);
    if (scoresHigher(a.figures.fidelity, b.figures.fidelity) || scoresHigher(b.figures.fidelity, a.figures.fidelity))
        return scoresHigher(a.figures.fidelity, b.figures.fidelity);
    return a.switches.size() < b.switches.size();
}

// Whether `q` makes fewer of the changes of `r`, with no more switches, and
// does as well.
bool matches(const Measured& q, const Measured& r, bool splitLater)
{
    return q.bits != r.bits && (q.bits & r.bits) == q.bits &&
           q.candidate.switches.size() <= r.candidate.switches.size() &&
           (whole(q.candidate, splitLater) || !whole(r.candidate, splitLater)) &&
           !scoresHigher(r.candidate.figures.fidelity, q.candidate.figures.fidelity);
}

// The switch sets to try, as bits of changes of the given ones: every
// combination of -k -o -e -n (with -c both ways under a given -p), and -a
// and -u alone; those on the best combination are added once it is known.
std::vector<unsigned> firstCandidates(const Settings& settings)
{
    const bool limited = std::any_of(settings.polyphony.begin(), settings.polyphony.end(), [](int n) { return n > 0; });
    std::vector<unsigned> bits;
    for (unsigned c = 0; c <= (limited ? outerVoicesBit : 0u); c += outerVoicesBit)
        for (unsigned k = 0; k <= combined; ++k)
            bits.push_back(k | c);
    bits.push_back(lateBits[0]);
    bits.push_back(lateBits[1]);
    return bits;
}

// The measured candidates that need at most `players` players (0: any
// number) ranked, without those matched by fewer changes.
std::vector<Measured> rankedMeasured(std::vector<Measured> all, bool splitLater, int players)
{
    if (players > 0)
        std::erase_if(all, [players](const Measured& m) { return m.candidate.players > players; });
    std::stable_sort(all.begin(), all.end(), [splitLater](const Measured& a, const Measured& b) {
        return better(a.candidate, b.candidate, splitLater);
    });
    std::vector<Measured> result;
    for (const Measured& r : all)
        if (std::none_of(all.begin(), all.end(), [&](const Measured& q) { return matches(q, r, splitLater); }))
            result.push_back(r);
    return result;
}

// Runs the candidates of suggest(): the given switches first, then the
// fixed set, then -a and -u on the best of it; when the given switches play
// drums, the best few again without them (-d 10). Last, every set the game
// cannot play whole is measured again with -b 5 and replaced by that (a
// split costs several times a conversion, so it comes only where needed).
class Suggester {
public:
    Suggester(const SuggestRequest& request, Switches given) : request_(request), given_(std::move(given)) {}

    bool run(const Settings& settings);
    std::vector<Measured>& all() { return all_; }

private:
    const SuggestRequest& request_;
    Switches given_;
    std::vector<Measured> all_;
    std::size_t done_ = 0;
    std::size_t total_ = 1;
    bool splitLater_ = false; // -b 5 is still to be tried on the sets that need it

    bool tried(unsigned bits) const
    {
        return std::any_of(all_.begin(), all_.end(), [bits](const Measured& m) { return m.bits == bits; });
    }
    void add(unsigned bits);
    void tryFixedSet(const Settings& settings);
    void tryWithoutDrums();
    std::vector<unsigned> bandCandidates(const Settings& settings) const;
    void tryBand(const Settings& settings);
    void splitWhereNeeded();
};

void Suggester::add(unsigned bits)
{
    if (tried(bits))
        return;
    const Switches switches = changed(given_, bits, request_.players);
    int players = 0;
    const std::optional<SongFidelity> figures = measure(typedArguments(switches), request_.midi, players);
    ++done_;
    if (request_.progress)
        request_.progress(std::min(done_, total_), total_);
    if (!figures)
        return;
    Measured m{bits, Candidate{}};
    m.candidate.switches = typedArguments(switches);
    m.candidate.typed = joined(m.candidate.switches);
    m.candidate.figures = *figures;
    m.candidate.players = players;
    m.candidate.playsWhole = playsWhole(*figures);
    m.candidate.given = bits == 0;
    const SongFidelity& given = all_.empty() ? *figures : all_.front().candidate.figures;
    m.candidate.words = changeWords(given_, switches, bits, given, *figures);
    all_.push_back(std::move(m));
}

// The combinations, then -a and -u on the best of them.
void Suggester::tryFixedSet(const Settings& settings)
{
    for (const unsigned bits : firstCandidates(settings))
        add(bits);
    const std::vector<Measured> best = rankedMeasured(all_, splitLater_, request_.players);
    const unsigned base = best.empty() ? 0u : best.front().bits;
    for (const unsigned late : lateBits)
        add(base | late);
}

// -d 10 alone and on the best sets so far.
void Suggester::tryWithoutDrums()
{
    const std::vector<Measured> best = rankedMeasured(all_, splitLater_, request_.players);
    add(drumsBit);
    for (std::size_t i = 0; i < best.size() && i < drumFinalists; ++i)
        add(best[i].bits | drumsBit);
}

// With players asked for, the band's sets: -P for them on each
// combination but those that turn -o (it adds nothing to -P) or leave out
// the drums (-P does); none when the given switches have that -P already.
std::vector<unsigned> Suggester::bandCandidates(const Settings& settings) const
{
    std::vector<unsigned> bits;
    if (request_.players <= 0 || argumentOf(given_, 'P') == std::to_string(request_.players))
        return bits;
    for (const unsigned b : firstCandidates(settings))
        if ((b & octavesBit) == 0)
            bits.push_back(b | bandBit);
    return bits;
}

// The band's sets, then -a and -u on the best of them.
void Suggester::tryBand(const Settings& settings)
{
    const std::vector<unsigned> band = bandCandidates(settings);
    for (const unsigned bits : band)
        add(bits);
    if (band.empty())
        return;
    std::vector<Measured> banded;
    for (const Measured& m : all_)
        if (m.bits & bandBit)
            banded.push_back(m);
    const std::vector<Measured> best = rankedMeasured(banded, splitLater_, request_.players);
    const unsigned base = best.empty() ? bandBit : best.front().bits;
    for (const unsigned late : lateBits)
        add(base | late);
}

// Each set the game cannot play whole, but the given one, gives way to
// itself with -b 5; those needing more players than asked for are not
// worth it.
void Suggester::splitWhereNeeded()
{
    std::vector<unsigned> needing;
    for (const Measured& m : all_)
        if (!m.candidate.playsWhole && (request_.players <= 0 || m.candidate.players <= request_.players))
            needing.push_back(m.bits);
    total_ = done_ + needing.size();
    std::vector<unsigned> replaced;
    for (const unsigned bits : needing) {
        add(bits | splitBit);
        if (bits != 0 && tried(bits | splitBit))
            replaced.push_back(bits);
    }
    std::erase_if(all_, [&replaced](const Measured& m) {
        return std::find(replaced.begin(), replaced.end(), m.bits) != replaced.end();
    });
    splitLater_ = false;
}

bool Suggester::run(const Settings& settings)
{
    add(0);
    if (all_.empty())
        return false;
    splitLater_ = settings.splitParts == 0 || settings.splitParts > gameParts;
    const Candidate& given = all_.front().candidate;
    const bool drums = given.figures.fidelity.drums > 0;
    // The toggles keep the channels written, so a set built on the given
    // ones needs as many players, one fewer with the drums left out: when
    // that is more than asked for, only the band's sets are worth a try.
    const bool fewEnough = request_.players <= 0 || given.players - (drums ? 1 : 0) <= request_.players;
    // The sets without a split are known now; those a split follows only
    // once measured, so the total grows then when it must.
    const std::size_t band = bandCandidates(settings).size();
    total_ = 1 + (fewEnough ? firstCandidates(settings).size() + std::size(lateBits) : 0) +
             (fewEnough && drums ? drumFinalists + 1 : 0) + (band > 0 ? band + std::size(lateBits) : 0);
    if (fewEnough) {
        tryFixedSet(settings);
        if (drums)
            tryWithoutDrums();
    }
    tryBand(settings);
    if (splitLater_)
        splitWhereNeeded();
    done_ = total_;
    if (request_.progress)
        request_.progress(done_, total_);
    return true;
}

} // namespace

namespace {

std::optional<SongFidelity> measure(const std::vector<std::string>& args, std::span<const unsigned char> midi,
                                    int& tunes)
{
    std::vector<std::string> line{"midi2varn"};
    line.insert(line.end(), args.begin(), args.end());
    line.push_back("song.mid");
    line.push_back("-");
    const CommandLine parsed = parseOptions(line);
    if (!parsed.proceed)
        return std::nullopt;
    ConversionRequest request;
    request.settings = parsed.settings;
    request.settings.verbosity = Level::Fatal;
    request.midi = midi;
    request.wantDepartures = true;
    request.writeOutput = [](std::string_view) {};
    const Conversion conversion = convert(request, nullptr);
    if (conversion.status != 0)
        return std::nullopt;
    tunes = static_cast<int>(conversion.tunes.size());
    return conversion.fidelity;
}

} // namespace

std::optional<SongFidelity> measureSwitches(const std::vector<std::string>& args, std::span<const unsigned char> midi)
{
    int tunes = 0;
    return measure(args, midi, tunes);
}

Suggestions suggest(const SuggestRequest& request)
{
    Suggestions result;
    const std::optional<Switches> given = scan(request.switches, result.errors);
    if (!given)
        return result;
    std::vector<std::string> line{"midi2varn"};
    line.insert(line.end(), request.switches.begin(), request.switches.end());
    line.push_back("song.mid");
    line.push_back("-");
    const CommandLine parsed = parseOptions(line);
    if (!parsed.proceed) {
        result.errors = parsed.errors + "varn2midi: the converter's switches after --suggest were refused.\n";
        return result;
    }
    Suggester suggester(request, *given);
    if (!suggester.run(parsed.settings)) {
        result.errors = "varn2midi: the song could not be converted.\n";
        return result;
    }
    result.converted = true;
    result.players = request.players;
    for (Measured& m : rankedMeasured(suggester.all(), false, request.players))
        result.ranked.push_back(std::move(m.candidate));
    return result;
}

std::string offerLine(const Suggestions& suggestions)
{
    // Fewer points are not worth a player's changing what they have.
    constexpr std::size_t worthPoints = 5;
    const auto given = std::find_if(suggestions.ranked.begin(), suggestions.ranked.end(),
                                    [](const Candidate& c) { return c.given; });
    if (suggestions.ranked.empty() || given == suggestions.ranked.end() || given == suggestions.ranked.begin())
        return "";
    const Candidate& best = suggestions.ranked.front();
    const Fidelity& now = given->figures.fidelity;
    const Fidelity& then = best.figures.fidelity;
    const bool drumsLeftOut = now.drums > 0 && then.drums == 0;
    if (asWrittenPercent(then) < asWrittenPercent(now) + worthPoints && !drumsLeftOut)
        return "";
    return "Better: " + (best.typed.empty() ? std::string("no switches") : best.typed) + ": " + asWrittenShare(then) +
           " as written instead of " + asWrittenShare(now) + (drumsLeftOut ? ", drums left out" : "") +
           (best.playsWhole && !given->playsWhole ? ", played whole" : "");
}

std::string formatSuggestions(const Suggestions& suggestions)
{
    const bool band = suggestions.players > 0;
    std::vector<std::string> head = {"switches", "as written", "played", "macros", "parts", "what changes"};
    if (band)
        head.insert(head.end() - 1, "players");
    std::vector<std::vector<std::string>> rows{head};
    for (const Candidate& c : suggestions.ranked) {
        const Fidelity& f = c.figures.fidelity;
        rows.push_back({c.typed.empty() ? "(none)" : c.typed, asWrittenShare(f), playedShare(f),
                        std::to_string(c.figures.macros),
                        std::to_string(c.figures.parts) + (c.playsWhole ? "" : " (too many)"),
                        c.words});
        if (band)
            rows.back().insert(rows.back().end() - 1, std::to_string(c.players));
    }
    std::vector<std::size_t> widths(head.size(), 0);
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    std::string text;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i)
            line += row[i] + (i + 1 < row.size() ? std::string(widths[i] - row[i].size() + 2, ' ') : "");
        text += line + "\n";
    }
    return text + (suggestions.ranked.empty() ? "" : suggestions.ranked.front().typed) + "\n";
}
