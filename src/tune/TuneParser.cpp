// Tune reader: the tokens of one tune text, played on a clock of sixteenths.
#include "tune/TuneParser.h"

#include <cstdint>
#include <deque>
#include <map>
#include <vector>

namespace {

// Largest number a token may carry. Larger ones are refused, so that the
// clock stays far inside its range whatever the input.
constexpr std::int64_t maxNumber = 999999;

// Semitones of a natural letter above the c of its octave.
int naturalOf(char lower)
{
    switch (lower) {
    case 'c': return 0;
    case 'd': return 2;
    case 'e': return 4;
    case 'f': return 5;
    case 'g': return 7;
    case 'a': return 9;
    default: return 11; // 'b'
    }
}

// The spellings the converter writes: naturals, c# e. f# a. b., and b# in
// the high octave only.
bool usualSpelling(char lower, char accidental, int octave)
{
    switch (accidental) {
    case 0: return true;
    case '#': return lower == 'c' || lower == 'f' || (lower == 'b' && octave == 2);
    default: return lower == 'e' || lower == 'a' || lower == 'b';
    }
}

// A character as a message shows it.
std::string shown(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x21 && byte < 0x7F)
        return std::string("'") + c + "'";
    static const char hex[] = "0123456789ABCDEF";
    return std::string("byte 0x") + hex[byte >> 4] + hex[byte & 15];
}

// An offset in the text as a note keeps it (texts are shorter than 2^31).
std::uint32_t letterOf(std::size_t offset)
{
    return static_cast<std::uint32_t>(offset);
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

class TuneParser {
public:
    TuneParser(std::string_view text, PlayedTune& tune, const IssueSink& report)
        : text_(text), tune_(tune), report_(report)
    {
    }

    void run();

private:
    // A letter inside an open group, waiting for the group's length.
    struct Pending {
        int pitch;
        int volume;
        std::size_t letter;
    };
    enum class Number { None, Read, TooLarge };

    std::string_view text_;
    PlayedTune& tune_;
    const IssueSink& report_;
    std::size_t pos_ = 0;
    std::int64_t clock_ = 0;
    int octave_ = 1;
    int groupVolume_ = 10;
    int singleVolume_ = 10;
    bool inGroup_ = false;
    std::size_t groupStart_ = 0;
    std::vector<Pending> group_;
    // Held notes by pitch, as note indices, the earliest first.
    std::map<int, std::deque<std::size_t>> held_;

    void warn(std::size_t at, const std::string& text) { report_(false, at, text); }
    void error(std::size_t at, const std::string& text) { report_(true, at, text); }
    std::string token(std::size_t at) const;
    Number number(std::int64_t& value);
    void note(std::size_t at);
    void rest(std::size_t at);
    void volumeMark(std::size_t at);
    void volumeStep(std::size_t at, int step);
    void tempo(std::size_t at);
    void openGroup(std::size_t at);
    void closeGroup(std::size_t at);
    void heldGroup();
    void stray(std::size_t at);
    void finish();
};

void TuneParser::run()
{
    while (pos_ < text_.size()) {
        const std::size_t at = pos_;
        const char c = text_[pos_];
        if ((c >= 'a' && c <= 'g') || (c >= 'A' && c <= 'G')) {
            note(at);
            continue;
        }
        switch (c) {
        case '\\': octave_ = 0; ++pos_; break;
        case '=': octave_ = 1; ++pos_; break;
        case '/': octave_ = 2; ++pos_; break;
        case 'p': rest(at); break;
        case '%': volumeMark(at); break;
        case '}': volumeStep(at, 1); break;
        case '{': volumeStep(at, -1); break;
        case '@': tempo(at); break;
        case '[': openGroup(at); break;
        case ']': closeGroup(at); break;
        default: stray(at); break;
        }
    }
    finish();
}

// The text from `at` to the reading position, in double quotes.
std::string TuneParser::token(std::size_t at) const
{
    std::string quoted(1, '"');
    quoted.append(text_.substr(at, pos_ - at));
    quoted.push_back('"');
    return quoted;
}

// The digits at the reading position into `value`, if any (else `value`
// stays); too large a number is reported and its digits passed over.
TuneParser::Number TuneParser::number(std::int64_t& value)
{
    const std::size_t at = pos_;
    std::int64_t read = 0;
    bool tooLarge = false;
    while (pos_ < text_.size() && isDigit(text_[pos_])) {
        read = read * 10 + (text_[pos_++] - '0');
        if (read > maxNumber) {
            tooLarge = true;
            read = maxNumber;
        }
    }
    if (pos_ == at)
        return Number::None;
    if (tooLarge) {
        error(at, "number " + token(at) + " is larger than " + std::to_string(maxNumber) + ": token ignored");
        return Number::TooLarge;
    }
    value = read;
    return Number::Read;
}

void TuneParser::note(std::size_t at)
{
    const char c = text_[pos_++];
    const bool upper = c >= 'A' && c <= 'G';
    const char lower = upper ? static_cast<char>(c - 'A' + 'a') : c;
    char accidental = 0;
    if (pos_ < text_.size() && (text_[pos_] == '#' || text_[pos_] == '.'))
        accidental = text_[pos_++];
    const int pitch = 48 + 12 * octave_ + naturalOf(lower) + (accidental == '#' ? 1 : accidental == '.' ? -1 : 0);
    if (!usualSpelling(lower, accidental, octave_))
        warn(at, "note " + token(at) + " read as MIDI note " + std::to_string(pitch));
    const std::size_t digits = pos_;
    std::int64_t n = 0;
    const Number length = number(n);
    if (length == Number::TooLarge)
        return;
    if (inGroup_) {
        if (upper)
            warn(at, "uppercase note " + token(at) + " in a group read as lowercase");
        if (length == Number::Read)
            error(digits, "a note in a group takes the group's length: " + token(digits) + " ignored");
        group_.push_back(Pending{pitch, groupVolume_, at});
        return;
    }
    std::int64_t sixteenths = upper ? 4 : 2;
    if (length == Number::Read && upper) {
        error(digits, "a number after an uppercase note: " + token(digits) + " ignored");
    } else if (length == Number::Read) {
        if (n == 0) {
            error(at, "note " + token(at) + " has no length: left out");
            return;
        }
        sixteenths = n;
        if (n == 2 || n == 4 || n > 9)
            warn(at, "note " + token(at) + " read as " + std::to_string(n) + " sixteenths");
    }
    tune_.notes.push_back(PlayedNote{clock_, sixteenths, pitch, singleVolume_, letterOf(at), false, false});
    clock_ += sixteenths;
}

void TuneParser::rest(std::size_t at)
{
    ++pos_;
    std::int64_t n = 2;
    const Number length = number(n);
    if (length == Number::TooLarge)
        return;
    if (inGroup_) {
        error(at, "rest " + token(at) + " inside a group ignored");
        return;
    }
    if (length == Number::Read) {
        if (n == 0) {
            error(at, "rest " + token(at) + " has no length: ignored");
            return;
        }
        if (n == 2 || n > 8)
            warn(at, "rest " + token(at) + " read as " + std::to_string(n) + " sixteenths");
    }
    clock_ += n;
}

// A volume mark acts on the state of where it stands: in a group or not.
void TuneParser::volumeMark(std::size_t at)
{
    ++pos_;
    std::int64_t n = 10;
    const Number value = number(n);
    if (value == Number::TooLarge)
        return;
    if (value == Number::Read && (n < 1 || n > 10)) {
        error(at, "volume " + token(at) + " is not 1..10: ignored");
        return;
    }
    if (value == Number::Read && n == 10)
        warn(at, "volume " + token(at) + " read as 10");
    (inGroup_ ? groupVolume_ : singleVolume_) = static_cast<int>(n);
}

void TuneParser::volumeStep(std::size_t at, int step)
{
    ++pos_;
    int& volume = inGroup_ ? groupVolume_ : singleVolume_;
    if (volume + step < 1 || volume + step > 10) {
        warn(at, "volume step " + token(at) + " beyond 1..10: volume stays " + std::to_string(volume));
        return;
    }
    volume += step;
}

void TuneParser::tempo(std::size_t at)
{
    ++pos_;
    std::int64_t n = 120;
    const Number value = number(n);
    if (value == Number::TooLarge)
        return;
    const std::int64_t bpm = n < 60 ? 60 : (n > 180 ? 180 : n);
    if (bpm != n)
        warn(at, "tempo " + token(at) + " outside 60..180: played as " + std::to_string(bpm));
    // Of several marks at one clock the last counts.
    if (!tune_.tempos.empty() && tune_.tempos.back().clock == clock_)
        tune_.tempos.back().bpm = static_cast<int>(bpm);
    else
        tune_.tempos.push_back(TempoMark{clock_, static_cast<int>(bpm)});
}

void TuneParser::openGroup(std::size_t at)
{
    ++pos_;
    if (inGroup_) {
        error(at, "'[' inside a group ignored");
        return;
    }
    inGroup_ = true;
    groupStart_ = at;
    group_.clear();
}

// The group's suffix gives its notes their length; "$" makes it a group
// where held notes start and end.
void TuneParser::closeGroup(std::size_t at)
{
    ++pos_;
    bool held = false;
    std::int64_t n = 4;
    Number length = Number::None;
    if (pos_ < text_.size() && text_[pos_] == '$') {
        ++pos_;
        held = true;
    } else {
        length = number(n);
    }
    if (!inGroup_) {
        error(at, token(at) + " without '[' ignored");
        return;
    }
    inGroup_ = false;
    if (group_.empty())
        warn(groupStart_, "empty group");
    if (length == Number::TooLarge)
        return;
    if (length == Number::Read && n == 0) {
        error(at, "group end " + token(at) + " has no length: its notes are left out");
        return;
    }
    if (length == Number::Read && (n == 4 || n > 9))
        warn(at, "group end " + token(at) + " read as " + std::to_string(n) + " sixteenths");
    if (held) {
        heldGroup();
        return;
    }
    for (const Pending& p : group_)
        tune_.notes.push_back(PlayedNote{clock_, n, p.pitch, p.volume, letterOf(p.letter), false, false});
}

// Each letter whose pitch was being held before the group ends that held
// note; every other letter starts a held note.
void TuneParser::heldGroup()
{
    std::vector<Pending> starts;
    for (const Pending& p : group_) {
        const auto it = held_.find(p.pitch);
        if (it == held_.end()) {
            starts.push_back(p);
            continue;
        }
        const std::size_t index = it->second.front();
        it->second.pop_front();
        if (it->second.empty())
            held_.erase(it);
        PlayedNote& ended = tune_.notes[index];
        ended.length = clock_ - ended.start;
        if (ended.length == 0)
            warn(p.letter, "held note ends where it starts");
        tune_.heldEnds.push_back(HeldEnd{p.letter, index});
    }
    for (const Pending& p : starts) {
        held_[p.pitch].push_back(tune_.notes.size());
        tune_.notes.push_back(PlayedNote{clock_, 0, p.pitch, p.volume, letterOf(p.letter), true, false});
    }
}

void TuneParser::stray(std::size_t at)
{
    std::int64_t ignored = 0;
    if (number(ignored) == Number::Read) {
        error(at, "number " + token(at) + " without a note, rest or mark ignored");
        return;
    }
    if (pos_ > at)
        return; // a number too large, reported
    ++pos_;
    error(at, "unexpected " + shown(text_[at]) + " ignored");
}

// The end of the text: an open group is left out, and held notes never
// ended sound to here.
void TuneParser::finish()
{
    if (inGroup_)
        error(groupStart_, "group never closed: its notes are left out");
    tune_.end = clock_;
    for (const auto& [pitch, indices] : held_) {
        for (std::size_t index : indices) {
            PlayedNote& note = tune_.notes[index];
            note.length = clock_ - note.start;
            note.stuck = true;
            warn(note.letter, "held note (MIDI note " + std::to_string(note.pitch) +
                                  ") never ended: stuck, it sounds to the end of the tune");
        }
    }
}

} // namespace

void parseTune(std::string_view text, PlayedTune& tune, const IssueSink& report)
{
    TuneParser(text, tune, report).run();
}
