// Tune encoder: one channel's quantised elements as Varnholt tune text.
#include "tune/VARN.h"

#include "arrange/Channel.h"
#include "core/ElementCast.h"
#include "core/Message.h"
#include "core/Note.h"
#include "core/Tempo.h"
#include "core/Volume.h"
#include "core/Wrap.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// Longest tune text of one channel (10,000 full macro pieces). Huge delta
// times would otherwise turn a tiny file into gigabytes of rests.
constexpr std::int64_t maxText = 4950000;

const char* const lowerNoteNames[13] = {"c", "c#", "d", "e.", "e", "f", "f#",
                                        "g", "a.", "a", "b.", "b", "b#"};
const char* const upperNoteNames[13] = {"C", "C#", "D", "E.", "E", "F", "F#",
                                        "G", "A.", "A", "B.", "B", "B#"};
const char* const octaveMarks[3] = {"\\", "=", "/"};

// The stream word that holds one more than the number of characters written
// to a tune so far (0: not yet known). Asking the stream for its position at
// every token would cost more than the writing itself.
int writtenWord()
{
    static const int index = std::ios_base::xalloc();
    return index;
}

// Appends `count` copies of `piece`: the one way text enters a tune. The text
// never grows past maxText; what would pass it is dropped and the stream's
// failbit marks the tune as cut, which also turns every later write into a
// no-op. Costs time in proportion to what is actually written. Returns false
// once the tune is cut.
bool put(std::stringstream& out, std::string_view piece, std::int64_t count = 1)
{
    if (!out)
        return false;
    if (piece.empty() || count <= 0)
        return true;
    long& word = out.iword(writtenWord());
    if (word == 0)
        word = static_cast<long>(out.tellp()) + 1;
    std::streambuf& buffer = *out.rdbuf();
    const auto write = [&](const char* data, std::int64_t n) {
        buffer.sputn(data, static_cast<std::streamsize>(n));
        word += static_cast<long>(n);
    };

    const std::int64_t size = static_cast<std::int64_t>(piece.size());
    const std::int64_t room = std::max<std::int64_t>(0, maxText - (word - 1));
    const std::int64_t fit = room / size;
    const std::int64_t copies = std::min(count, fit);

    if (copies == 1 && size == 1) {
        buffer.sputc(piece[0]); // most tokens are one character
        ++word;
    } else if (copies == 1) {
        write(piece.data(), size);
    } else if (copies > 1) {
        // Long runs (rests) go out in blocks rather than token by token.
        const std::int64_t perBlock = std::min<std::int64_t>(copies, 4096);
        std::string block;
        block.reserve(static_cast<std::size_t>(perBlock * size));
        for (std::int64_t i = 0; i < perBlock; ++i)
            block.append(piece);
        for (std::int64_t left = copies; left > 0; left -= perBlock)
            write(block.data(), std::min(left, perBlock) * size);
    }
    if (count > fit) {
        write(piece.data(), room - fit * size);
        out.setstate(std::ios::failbit);
        return false;
    }
    return true;
}

bool put(std::stringstream& out, int number)
{
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    return put(out, std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

// A count of sixteenths as the int that addPause takes. Anything beyond the
// int range is far longer than the cap allows, so the text is the same.
int clampToInt(std::int64_t value)
{
    return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
}

// The suffix that closes a group of notes `x` sixteenths long.
void closeGroup(std::stringstream& out, int x)
{
    put(out, "]");
    if (x > 9)
        put(out, "$");
    else if (x != 4)
        put(out, x);
}

// Volume 1..10 of a note from its channel volume and velocity.
int noteVolume(int channelVolume, int velocity)
{
    const double h = static_cast<double>(channelVolume) * velocity / 1000.0 + 0.5;
    if (h >= 10.0)
        return 10;
    if (h < 1.0) // 0, and nonsense negative values, are the softest volume
        return 1;
    return static_cast<int>(h);
}

} // namespace

void VARN::addPause(std::stringstream& out, int sixteenths) const
{
    if (sixteenths <= 0)
        return;
    if (!put(out, "p8", sixteenths / 8))
        return;
    const int rest = sixteenths % 8;
    if (rest == 2) {
        put(out, "p");
    } else if (rest > 0) {
        put(out, "p");
        put(out, rest);
    }
}

void VARN::putVel(std::stringstream& out, int& current, int wanted) const
{
    if (wanted == current)
        return;
    if (wanted == addWrap(current, 1)) {
        put(out, "}");
    } else if (wanted == subWrap(current, 1)) {
        put(out, "{");
    } else {
        put(out, "%");
        if (wanted != 10)
            put(out, wanted);
    }
    current = wanted;
}

void VARN::create(const Channel* channel, int transpose, bool triplets, bool longChords, bool upperC)
{
    status = ENone;
    if (channel == nullptr)
        return;
    const auto& elements = channel->elements;

    std::stringstream out;
    int tempoState = 120;
    int octaveState = 1;
    int groupVolume = 10;
    int noteVolumeState = 10;
    bool inGroup = false;
    int previousLength = 0;
    int channelVolumes[16];
    std::fill(std::begin(channelVolumes), std::end(channelVolumes), 100);
    std::int64_t startTime = 0; // sums of deltas may pass the int range

    // Held notes. A note's remaining time only ever shrinks by the same
    // amount for all of them (the length of a single note or of a rest), so
    // they are kept by the clock value at which their time is up, ordered by
    // that and by when they were held: a held note's remaining time is its
    // end minus the clock, 0 once the clock has passed it.
    struct HeldKey {
        std::int64_t end;
        std::uint64_t order;
        bool operator<(const HeldKey& o) const { return end != o.end ? end < o.end : order < o.order; }
    };
    std::map<HeldKey, longNotes> held;
    std::int64_t clock = 0;
    std::uint64_t heldCount = 0;

    // Writes the octave mark when `octave` differs from the last one written.
    auto putOctave = [&](int octave) {
        if (octave != octaveState) {
            put(out, octaveMarks[octave]);
            octaveState = octave;
        }
    };
    // Ends the held notes whose time is up after `L` more sixteenths of rest,
    // in one group of their own, in the order they were held; the others
    // count down.
    std::vector<std::pair<std::uint64_t, longNotes>> ending;
    auto endHeld = [&](int L) {
        addPause(out, L);
        put(out, "[");
        ending.clear();
        while (!held.empty() && held.begin()->first.end <= clock + L) {
            ending.emplace_back(held.begin()->first.order, held.begin()->second);
            held.erase(held.begin());
        }
        std::sort(ending.begin(), ending.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& entry : ending) {
            putOctave(entry.second.octave);
            put(out, lowerNoteNames[entry.second.letter]);
        }
        clock += L;
        put(out, "]$");
    };
    // The smallest remaining time among the held notes (there is one).
    auto smallestRemaining = [&]() {
        return static_cast<int>(std::max<std::int64_t>(held.begin()->first.end - clock, 0));
    };

    for (std::size_t i = 0; i < elements.size() && out; ++i) {
        const Element* element = elements[i].get();
        if (element == nullptr)
            continue;
        const auto* note = elementCast<Note>(element);
        if (note == nullptr) {
            startTime += element->delta;
            if (const auto* tempo = elementCast<Tempo>(element)) {
                int b = tempo->bpm;
                if (b <= 59) {
                    status |= ETUnder;
                    b = 60;
                } else if (b > 180) {
                    status |= ETOver;
                    b = 180;
                }
                if (b != tempoState) {
                    put(out, "@");
                    if (b != 120)
                        put(out, b);
                    tempoState = b;
                }
            } else if (const auto* volume = elementCast<Volume>(element)) {
                // A channel outside 0..15 has no volume to keep.
                if (volume->channel >= 0 && volume->channel < 16)
                    channelVolumes[volume->channel] = volume->volume;
            }
            continue;
        }

        // Volume of the note.
        const int channelVolume =
            (note->channel >= 0 && note->channel < 16) ? channelVolumes[note->channel] : 100;
        const int h = noteVolume(channelVolume, note->velocity);

        // Leading rest before the first note.
        startTime += note->delta;
        if (previousLength == 0 && startTime != 0) {
            addPause(out, clampToInt(startTime / 6));
            if (!out)
                break;
        }

        // Length and pitch.
        int length = note->length;
        if (length % 3 != 0) {
            if (triplets)
                Msg(3, "Triplets NYI! (found %d)\n", length);
            else
                Msg(0, "BUG! Triplet found! (found %d)\n", length);
        }
        bool isHeld = false;
        if (length <= 5) {
            status |= ENShort;
            length = 6;
        } else if (length > 54) {
            if (longChords) {
                isHeld = true;
            } else {
                status |= ENLong;
                length = 54;
            }
        }
        const int v = length / 6;

        const int g = addWrap(note->pitch, transpose);
        if (g <= 47)
            status |= ENUnder;
        else if (g >= (upperC ? 85 : 84))
            status |= ENOver;
        const int octave = g <= 59 ? 0 : (g <= 71 ? 1 : 2);
        const int letter = (upperC && g == 84) ? 12 : ((g % 12) + 12) % 12;

        // Distance, in sixteenths, to the next note.
        std::int64_t sum = 0;
        bool hasNext = false;
        for (std::size_t j = i + 1; j < elements.size(); ++j) {
            const Element* next = elements[j].get();
            if (next == nullptr)
                continue;
            sum += next->delta;
            if (elementCast<Note>(next) != nullptr) {
                hasNext = true;
                break;
            }
        }
        std::int64_t gap = sum / 6;
        const bool overlaps = hasNext && gap < v;

        if (overlaps || isHeld) {
            // Written in a group: the next note starts before this one ends.
            if (!inGroup) {
                put(out, "[");
                inGroup = true;
            } else if (v != previousLength || h != groupVolume) {
                closeGroup(out, previousLength);
                put(out, "[");
            }
            putVel(out, groupVolume, h);
            putOctave(octave);
            put(out, lowerNoteNames[letter]);
            if (isHeld)
                held.emplace(HeldKey{clock + v, heldCount++}, longNotes{v, octave, letter});
        } else {
            // A single note, which advances the tune's clock.
            if (inGroup) {
                closeGroup(out, previousLength);
                inGroup = false;
            }
            putVel(out, noteVolumeState, h);
            putOctave(octave);
            if (v == 4) {
                put(out, upperNoteNames[letter]);
            } else {
                put(out, lowerNoteNames[letter]);
                if (v != 2)
                    put(out, v);
            }
            clock += v; // every held note counts down, to 0 at the least
        }

        // The gap up to the next note, ending held notes whose time is up.
        if (hasNext && gap != 0) {
            if (inGroup) {
                closeGroup(out, v);
                inGroup = false;
            } else {
                gap -= v;
            }
            std::int64_t done = 0;
            while (!held.empty() && out) {
                const int L = smallestRemaining();
                if (done + L > gap)
                    break;
                endHeld(L);
                done += L;
            }
            addPause(out, clampToInt(gap - done));
            // Every held note left outlasts this rest (L > gap - done).
            if (gap > done)
                clock += gap - done;
        }

        // A group opened later closes with this length.
        previousLength = v;
    }

    // End of the channel: close the group and end every held note.
    if (out) {
        if (inGroup)
            closeGroup(out, previousLength);
        while (!held.empty() && out)
            endHeld(smallestRemaining());
    }

    if (!out) {
        Msg(1, "Tune is too long! Cut after %d characters.\n", static_cast<int>(maxText));
        status |= EMLong;
    }
    std::string written = out.str();
    if (!written.empty())
        text = std::move(written);
}
