// The channel's order, identical-note removal and polyphony limit against
// their straightforward forms, kept here as oracles: the comparison through
// a walk over the kinds with a stable sort, the removal that rescans after each
// deletion, and the polyphony pass that walks the list from its start for
// every note. Random channels (chords, long notes, odd lengths, hostile
// positions, a note out of bounds late in a long list) and random MIDI
// files, limits 0 to 6; the lists, the results and every console line must
// agree, with the debug lines shown and hidden. The limit that keeps the
// outer voices of chords (-c) is checked against its rules, applied one note
// at a time.
#include "arrange/ChannelPolyphony.h"
#include "arrange/ChannelQuantisation.h"
#include "arrange/Song.h"
#include "core/Element.h"
#include "core/Message.h"
#include "core/Settings.h"
#include "core/WrappingArithmetic.h"
#include "midi/MidiReader.h"
#include "support/Capture.h"
#include "support/MidiWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace {

using List = std::vector<Element>;

// ---- oracles ----

bool isTempo(const Element& e)
{
    return e.kind == ElementKind::Tempo;
}

bool isVolume(const Element& e)
{
    return e.kind == ElementKind::Volume;
}

int oracleCompare(const Element& a, const Element& b)
{
    if (a.time != b.time)
        return a.time < b.time ? -1 : 1;
    if (isTempo(a))
        return isTempo(b) ? 0 : -1;
    if (isTempo(b))
        return 1;
    if (isVolume(a))
        return isVolume(b) ? 0 : -1;
    if (isVolume(b))
        return 1;
    if (a.duration != b.duration)
        return a.duration > b.duration ? -1 : 1;
    if (a.pitch != b.pitch)
        return a.pitch < b.pitch ? -1 : 1;
    return 0;
}

void oracleSort(List& list)
{
    std::stable_sort(list.begin(), list.end(),
                     [](const Element& x, const Element& y) { return oracleCompare(x, y) < 0; });
}

int oracleFold(int pitch)
{
    while (pitch < 48)
        pitch += 12;
    while (pitch >= 84)
        pitch -= 12;
    return pitch;
}

void oracleEliminateIdentical(List& list)
{
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (!list[i].isNote())
            continue;
        bool removed = true;
        while (removed) {
            removed = false;
            for (std::size_t j = i + 1; j < list.size() && list[j].delta == 0; ++j) {
                if (list[j].isNote() && oracleFold(list[i].pitch) == oracleFold(list[j].pitch)) {
                    list.erase(list.begin() + static_cast<std::ptrdiff_t>(j));
                    removed = true;
                    break;
                }
            }
        }
    }
}

int oracleFixPolyphony(List& list, int limit)
{
    int now = 0, groupStart = 0, count = 0, peak = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        now = addWrap(now, list[i].delta);
        if (!list[i].isNote())
            continue;
        if (now != groupStart) {
            count = 1;
            int pos = 0;
            for (std::size_t k = 0; k < i; ++k) {
                pos = addWrap(pos, list[k].delta);
                Element& x = list[k];
                if (!x.isNote() || !(addWrap(pos, x.length) > now))
                    continue;
                if (limit != 0 && count + 1 > limit)
                    x.length = correctLength(subWrap(now, pos));
                else
                    ++count;
                if (count > peak) {
                    peak = count;
                    tell(Code::PolyphonyA, count, (pos / 24) / 3.0 + 1.0);
                }
            }
            groupStart = now;
        } else {
            ++count;
            if (limit != 0 && count > limit) {
                int pos = 0;
                for (std::size_t k = 0; k < i; ++k) {
                    pos = addWrap(pos, list[k].delta);
                    Element& x = list[k];
                    if (!x.isNote() || !(addWrap(pos, x.length) > now))
                        continue;
                    if (pos == now) {
                        list[k + 1].delta = addWrap(list[k + 1].delta, x.delta);
                        list.erase(list.begin() + static_cast<std::ptrdiff_t>(k));
                        --i;
                    } else {
                        x.length = correctLength(subWrap(now, pos));
                    }
                    break;
                }
                --count;
            }
            if (count > peak) {
                peak = count;
                tell(Code::PolyphonyB, count, (now / 24) / 3.0 + 1.0);
            }
        }
    }
    return peak;
}

// The limit that keeps the outer voices (-c), as its rules read: at each
// group, the kept notes still sounding and the group's notes; one note at a
// time, the best by the rules of that step is kept, until the limit.
struct OracleCandidate {
    std::size_t id;
    bool held;
    bool tail;
};

// Whether `a` comes before `b` as the next note kept after `chosen`.
bool oracleFirst(const List& list, const std::vector<OracleCandidate>& chosen, const OracleCandidate& a,
                 const OracleCandidate& b)
{
    const Element& x = list[a.id];
    const Element& y = list[b.id];
    const auto classOf = [&](std::size_t id) { return ((list[id].pitch % 12) + 12) % 12; };
    if (a.tail != b.tail)
        return !a.tail;
    if (!a.tail && x.pitch != y.pitch && chosen.size() < 2)
        return chosen.empty() ? x.pitch > y.pitch : x.pitch < y.pitch;
    if (!a.tail && chosen.size() >= 2) {
        bool da = false, db = false;
        for (const OracleCandidate& c : chosen) {
            da = da || classOf(c.id) == classOf(a.id);
            db = db || classOf(c.id) == classOf(b.id);
        }
        if (da != db)
            return !da;
    }
    if (a.held != b.held)
        return a.held;
    if (x.velocity != y.velocity)
        return x.velocity > y.velocity;
    if (x.length != y.length)
        return x.length > y.length;
    if (x.pitch != y.pitch)
        return x.pitch > y.pitch;
    return a.id < b.id;
}

// The candidates of the group of notes i..last at `now`.
std::vector<OracleCandidate> oracleCandidates(const List& list, const std::vector<std::int64_t>& pos,
                                              const std::vector<std::size_t>& kept, std::size_t i, std::size_t last)
{
    int latest = list[i].time;
    for (std::size_t j = i; j <= last; ++j)
        if (list[j].isNote())
            latest = std::max(latest, list[j].time);
    std::vector<OracleCandidate> open;
    for (const std::size_t id : kept) {
        if (pos[id] > pos[i] || pos[id] + list[id].length <= pos[i])
            continue;
        bool restruck = false;
        for (std::size_t j = i; j <= last; ++j)
            restruck = restruck || (list[j].isNote() && list[j].pitch == list[id].pitch);
        open.push_back({id, true, std::int64_t{list[id].time} + list[id].duration <= latest || restruck});
    }
    for (std::size_t j = i; j <= last; ++j)
        if (list[j].isNote())
            open.push_back({j, false, false});
    return open;
}

int oracleOuterVoices(List& list, int limit)
{
    const std::size_t n = list.size();
    std::vector<std::int64_t> pos(n);
    std::int64_t sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        pos[i] = sum += list[i].delta;
    std::vector<bool> dropped(n, false);
    std::vector<std::size_t> kept;
    int peak = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (!list[i].isNote())
            continue;
        const std::int64_t now = pos[i];
        std::size_t last = i;
        for (std::size_t j = i; j < n && pos[j] == now; ++j)
            if (list[j].isNote())
                last = j;
        std::vector<OracleCandidate> open = oracleCandidates(list, pos, kept, i, last);
        std::vector<OracleCandidate> chosen;
        while (static_cast<int>(chosen.size()) < limit && !open.empty()) {
            auto best = open.begin();
            for (auto it = open.begin(); it != open.end(); ++it)
                if (oracleFirst(list, chosen, *it, *best))
                    best = it;
            chosen.push_back(*best);
            open.erase(best);
        }
        std::sort(open.begin(), open.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
        for (const OracleCandidate& c : open) {
            if (pos[c.id] == now)
                dropped[c.id] = true;
            else
                list[c.id].length = correctLength(static_cast<int>(now - pos[c.id]));
        }
        for (int count = peak + 1; count <= static_cast<int>(chosen.size()); ++count)
            tell(Code::PolyphonyA, count, static_cast<double>(now / 24) / 3.0 + 1.0);
        peak = std::max(peak, static_cast<int>(chosen.size()));
        kept.clear();
        for (const OracleCandidate& c : chosen)
            if (pos[c.id] + list[c.id].length > now)
                kept.push_back(c.id);
        i = last;
    }
    // Dropped notes leave; each one's delta goes to the next element listed.
    List out;
    int carried = 0;
    for (std::size_t k = 0; k < n; ++k) {
        if (dropped[k]) {
            carried = addWrap(carried, list[k].delta);
            continue;
        }
        out.push_back(list[k]);
        out.back().delta = addWrap(out.back().delta, carried);
        carried = 0;
    }
    list = out;
    return peak;
}

// ---- helpers ----

// A copy of the list made field by field through the factories, so that it
// shares nothing with the channel's own list.
Element clone(const Element& e)
{
    Element c;
    switch (e.kind) {
    case ElementKind::Note:
        c = Element::makeNote(e.time, e.channel, e.pitch, e.velocity);
        c.duration = e.duration;
        c.length = e.length;
        break;
    case ElementKind::Tempo:
        c = Element::makeTempo(e.time, e.channel, e.bpm);
        break;
    case ElementKind::Volume:
        c = Element::makeVolume(e.time, e.channel, e.volume);
        break;
    }
    c.delta = e.delta;
    return c;
}

List cloneList(const List& list)
{
    List out;
    for (const Element& e : list)
        out.push_back(clone(e));
    return out;
}

// One line per element with every field its kind has; equal texts mean
// equal lists (the same elements in the same order, as far as anything can observe).
std::string describe(const List& list)
{
    std::string s;
    char line[160];
    for (const Element& e : list) {
        switch (e.kind) {
        case ElementKind::Note:
            std::snprintf(line, sizeof line, "N t%d d%d c%d p%d v%d dur%d len%d\n", e.time, e.delta, e.channel,
                          e.pitch, e.velocity, e.duration, e.length);
            break;
        case ElementKind::Tempo:
            std::snprintf(line, sizeof line, "T t%d d%d c%d b%d\n", e.time, e.delta, e.channel, e.bpm);
            break;
        case ElementKind::Volume:
            std::snprintf(line, sizeof line, "V t%d d%d c%d v%d\n", e.time, e.delta, e.channel, e.volume);
            break;
        }
        s += line;
    }
    return s;
}

// Random channel in list order after quantisation: mostly chords and runs
// on a grid, some held notes and odd lengths. `hostile` adds deltas and
// lengths anywhere in the int range.
List randomGridList(std::mt19937& rng, int size, bool hostile)
{
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    List list;
    while (static_cast<int>(list.size()) < size) {
        const int kind = pick(0, 19);
        int delta = 0;
        const int r = pick(0, 9);
        if (r < 4)
            delta = 0;
        else if (r < 8)
            delta = 3 * pick(1, 16);
        else
            delta = pick(1, 200);
        if (hostile && pick(0, 9) == 0)
            delta = pick(0, 1) ? pick(INT_MIN, INT_MAX) : pick(-50, 50);
        if (kind == 0) {
            Element t = Element::makeTempo(0, 0, pick(30, 200));
            t.delta = delta;
            // A stray length, which no pass may take for a sounding note.
            t.length = pick(0, 400);
            list.push_back(t);
        } else if (kind == 1) {
            const int channel = pick(0, 15);
            Element v = Element::makeVolume(0, channel, pick(0, 127));
            v.delta = delta;
            v.length = pick(0, 400);
            list.push_back(v);
        } else {
            // A chord of up to 8 notes, long ones now and then.
            const int chord = pick(0, 3) == 0 ? pick(2, 8) : 1;
            for (int c = 0; c < chord; ++c) {
                const int pitch = pick(20, 110);
                Element n = Element::makeNote(0, 0, pitch, pick(1, 127));
                n.delta = c == 0 ? delta : 0;
                const int lr = pick(0, 19);
                if (lr < 12)
                    n.length = 6 * pick(1, 8);
                else if (lr < 15)
                    n.length = 6 * pick(9, 60); // held across many groups
                else if (lr < 18)
                    n.length = pick(-3, 40);    // odd, zero and negative lengths
                else
                    n.length = 3 * pick(1, 20);
                if (hostile && pick(0, 15) == 0)
                    n.length = pick(0, 1) ? pick(INT_MIN, INT_MAX) : INT_MAX - pick(0, 5);
                list.push_back(n);
            }
        }
    }
    return list;
}

// Runs eliminateIdentical (optionally) and fixPolyphony on the channel and
// the oracles on a copy; both must print the same and leave the same list.
void checkAgainstOracle(Channel& channel, int limit, bool eliminate, const std::string& what)
{
    List copy = cloneList(channel.elements);

    ConsoleCapture fastOut;
    if (eliminate)
        channel.eliminateIdentical();
    const int fastPeak = fixPolyphony(channel, limit);
    const std::string fastText = fastOut.take();

    ConsoleCapture oracleOut;
    if (eliminate)
        oracleEliminateIdentical(copy);
    const int oraclePeak = oracleFixPolyphony(copy, limit);
    const std::string oracleText = oracleOut.take();

    ASSERT_EQ(fastPeak, oraclePeak) << what;
    ASSERT_EQ(fastText, oracleText) << what;
    ASSERT_EQ(describe(channel.elements), describe(copy)) << what;
}

class PolyphonyOracleTest : public ::testing::Test {
protected:
    void SetUp() override { setVerbosity(9); }
    void TearDown() override { setVerbosity(4); }
};

TEST_F(PolyphonyOracleTest, CompareAgreesWithDownCasts)
{
    std::mt19937 rng(7);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    List pool;
    for (int i = 0; i < 300; ++i) {
        const int time = pick(0, 3) == 0 ? pick(INT_MIN, INT_MAX) : pick(0, 5);
        const int kind = pick(0, 4);
        if (kind == 0) {
            pool.push_back(Element::makeTempo(time, 0, pick(40, 200)));
        } else if (kind == 1) {
            pool.push_back(Element::makeVolume(time, 0, pick(0, 127)));
        } else {
            const int pitch = pick(58, 62);
            Element n = Element::makeNote(time, 0, pitch, 64);
            n.duration = pick(0, 2) == 0 ? pick(INT_MIN, INT_MAX) : pick(0, 3);
            pool.push_back(n);
        }
    }
    for (const Element& a : pool) {
        for (const Element& b : pool) {
            // before(a, b) is the oracle's "a < b"; neither way is its "a == b".
            const bool ab = Channel::before(a, b);
            const bool ba = Channel::before(b, a);
            ASSERT_FALSE(ab && ba);
            const int fast = ab ? -1 : (ba ? 1 : 0);
            const int oracle = oracleCompare(a, b);
            ASSERT_EQ(fast, oracle);
        }
    }
}

TEST_F(PolyphonyOracleTest, SortIsTheStableSortOfCompare)
{
    std::mt19937 rng(11);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 300; ++round) {
        Channel channel;
        const int size = pick(0, 120);
        const bool wide = round % 5 == 0;
        int time = 0;
        for (int i = 0; i < size; ++i) {
            // Mostly in order, as a channel filled track by track.
            if (pick(0, 30) == 0)
                time = pick(0, 500);
            time += pick(0, 2) * 10;
            const int t = wide && pick(0, 3) == 0 ? pick(INT_MIN, INT_MAX) : time;
            const int kind = pick(0, 9);
            if (kind == 0) {
                const int ch = pick(0, 15);
                channel.elements.push_back(Element::makeTempo(t, ch, pick(40, 200)));
            } else if (kind == 1) {
                const int ch = pick(0, 15);
                channel.elements.push_back(Element::makeVolume(t, ch, pick(0, 127)));
            } else {
                const int ch = pick(0, 15);
                const int pitch = pick(40, 80);
                Element n = Element::makeNote(t, ch, pitch, pick(1, 127));
                n.duration = wide && pick(0, 3) == 0 ? pick(INT_MIN, INT_MAX) : 10 * pick(0, 4);
                channel.elements.push_back(n);
            }
        }
        List copy = cloneList(channel.elements);
        channel.sort();
        oracleSort(copy);
        ASSERT_EQ(describe(channel.elements), describe(copy)) << "round " << round;
    }
}

TEST_F(PolyphonyOracleTest, RandomChannelsAllLimits)
{
    std::mt19937 rng(2024);
    for (int round = 0; round < 700; ++round) {
        const int limit = round % 7;
        const bool eliminate = (round / 7) % 2 == 1;
        // Now and then the debug lines are hidden: what is shown must still agree.
        setVerbosity((round / 14) % 3 == 2 ? Message::msgLevelDefault : Level::All);
        const int size = std::uniform_int_distribution<int>(0, 160)(rng);
        Channel channel;
        channel.used = true;
        channel.elements = randomGridList(rng, size, false);
        checkAgainstOracle(channel, limit, eliminate,
                           "round " + std::to_string(round) + " limit " + std::to_string(limit));
        if (HasFatalFailure())
            return;
    }
}

// A note out of bounds well into a long list: the walk takes over from the
// counts, cuts and drops made so far, printing nothing twice.
TEST_F(PolyphonyOracleTest, OutOfBoundsNoteLateInTheListHandsOver)
{
    struct Planted {
        const char* what;
        int delta;
        int length;
    };
    const Planted table[] = {
        {"negative delta", -24, 24},
        {"delta past the bound", 1 << 29, 24},
        {"length past the bound", 0, (1 << 29) + 1},
        {"length below the bound", 6, -(1 << 29) - 1},
        {"longest length", 0, INT_MAX},
    };
    // Chords of 1, 2, ... notes, some held into the next: every group raises
    // the peak without a limit, so that a count lost in the hand-over shows.
    List rising;
    for (int size = 1; size <= 16; ++size) {
        for (int c = 0; c < size; ++c) {
            Element n = Element::makeNote(0, 0, 40 + c, 64);
            n.delta = c == 0 ? 24 : 0;
            n.length = c % 3 == 0 ? 48 : 6;
            rising.push_back(n);
        }
    }
    std::mt19937 rng(17);
    for (const Planted& planted : table) {
        for (int shape = 0; shape < 14; ++shape) {
            const int limit = shape % 7;
            Channel channel;
            channel.used = true;
            channel.elements = shape < 7 ? randomGridList(rng, 400, false) : rising;
            // In the rising chords, right after the 12th chord: joining it raises the peak.
            const auto at = shape < 7 ? std::uniform_int_distribution<std::size_t>(200, 399)(rng) : 78;
            Element note = Element::makeNote(0, 0, 60, 64);
            note.delta = planted.delta;
            note.length = planted.length;
            channel.elements.insert(channel.elements.begin() + static_cast<std::ptrdiff_t>(at), note);
            checkAgainstOracle(channel, limit, limit % 2 == 1,
                               std::string(planted.what) + " limit " + std::to_string(limit));
            if (HasFatalFailure())
                return;
        }
    }
}

TEST_F(PolyphonyOracleTest, LongChordsOfEqualNotes)
{
    // Many equal notes on one position, some held from before, all limits.
    for (int limit = 0; limit <= 6; ++limit) {
        for (int chord = 1; chord <= 40; chord += 13) {
            Channel channel;
            channel.used = true;
            for (int held = 0; held < 3; ++held) {
                Element n = Element::makeNote(0, 0, 50 + held, 64);
                n.length = 96;
                channel.elements.push_back(n);
            }
            for (int c = 0; c < chord; ++c) {
                Element n = Element::makeNote(0, 0, 60 + c % 5, 64);
                n.delta = c == 0 ? 24 : 0;
                n.length = 24;
                channel.elements.push_back(n);
            }
            Element last = Element::makeNote(0, 0, 72, 64);
            last.delta = 10;
            last.length = 6;
            channel.elements.push_back(last);
            checkAgainstOracle(channel, limit, chord % 2 == 0,
                               "limit " + std::to_string(limit) + " chord " + std::to_string(chord));
            if (HasFatalFailure())
                return;
        }
    }
}

TEST_F(PolyphonyOracleTest, HostilePositionsAndLengths)
{
    std::mt19937 rng(99);
    for (int round = 0; round < 300; ++round) {
        const int limit = round % 9 == 8 ? -1 : round % 7;
        const int size = std::uniform_int_distribution<int>(0, 60)(rng);
        Channel channel;
        channel.used = true;
        channel.elements = randomGridList(rng, size, true);
        checkAgainstOracle(channel, limit, round % 2 == 0, "hostile round " + std::to_string(round));
        if (HasFatalFailure())
            return;
    }
}

// -c against its oracle: random channels, plain and hostile, with tick
// times at the grid positions and MIDI lengths that sometimes end early (so
// that rounded tails occur), limits 1 to 6.
TEST_F(PolyphonyOracleTest, OuterVoicesAgreeWithTheirRules)
{
    std::mt19937 rng(29);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 600; ++round) {
        const int limit = 1 + round % 6;
        Channel channel;
        channel.used = true;
        channel.elements = randomGridList(rng, pick(0, 120), round % 5 == 4);
        int time = 0;
        for (Element& e : channel.elements) {
            time = addWrap(time, e.delta);
            e.time = time;
            e.duration = pick(0, 3) == 0 ? pick(0, 24) : e.length;
        }
        List copy = cloneList(channel.elements);
        ConsoleCapture fastOut;
        const int fastPeak = fixPolyphony(channel, limit, true);
        const std::string fastText = fastOut.take();
        ConsoleCapture oracleOut;
        const int oraclePeak = oracleOuterVoices(copy, limit);
        const std::string oracleText = oracleOut.take();
        const std::string what = "round " + std::to_string(round) + " limit " + std::to_string(limit);
        ASSERT_EQ(fastPeak, oraclePeak) << what;
        ASSERT_LE(fastPeak, limit) << what;
        ASSERT_EQ(fastText, oracleText) << what;
        ASSERT_EQ(describe(channel.elements), describe(copy)) << what;
    }
}

// Random MIDI files through the reader and the song's distribution: each
// channel must come out in the oracle's order, and clean-up and polyphony
// must match the oracles after quantisation.
TEST_F(PolyphonyOracleTest, RandomFiles)
{
    std::mt19937 rng(5);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    int checked = 0; // channels compared, so that the test cannot pass on empty songs
    for (int round = 0; round < 40; ++round) {
        const int tracks = pick(1, 4);
        std::string file = midi::header(1, tracks, 96 * pick(1, 5));
        for (int t = 0; t < tracks; ++t) {
            midi::TrackBody body;
            if (t == 0)
                body.tempo(0, static_cast<std::uint32_t>(pick(300000, 900000)));
            const int events = pick(0, 150);
            for (int e = 0; e < events; ++e) {
                const std::uint32_t delta = pick(0, 2) == 0 ? 0u : static_cast<std::uint32_t>(pick(1, 200));
                const int channel = pick(0, 2);
                const int key = pick(55, 70);
                const int r = pick(0, 9);
                if (r < 5)
                    body.noteOn(delta, channel, key, pick(1, 127));
                else if (r < 7)
                    body.noteOff(delta, channel, key);
                else if (r < 9)
                    body.noteOn(delta, channel, key, 0);
                else
                    body.controller(delta, channel, 7, pick(0, 127));
            }
            body.endOfTrack(static_cast<std::uint32_t>(pick(0, 500)));
            file += body.chunk();
        }

        setVerbosity(0);
        MidiFile read;
        MidiReader parser;
        const std::span<const unsigned char> bytes(reinterpret_cast<const unsigned char*>(file.data()),
                                                   file.size());
        ASSERT_TRUE(parser.loadSong(bytes, "polyphony_oracle.mid", read));
        Song song(Settings{}, std::move(read));
        setVerbosity(9);
        for (int ch = 0; ch < Song::channelCount; ++ch) {
            Channel& channel = song.channels[ch];
            if (!channel.used)
                continue;
            List resorted = cloneList(channel.elements);
            oracleSort(resorted);
            ASSERT_EQ(describe(channel.elements), describe(resorted)) << "round " << round;
            {
                ConsoleCapture quiet; // quantisation warnings are not under test here
                quantise(channel, song.division, round % 3 != 0);
            }
            checkAgainstOracle(channel, round % 7, round % 2 == 0, "file round " + std::to_string(round));
            if (HasFatalFailure())
                return;
            ++checked;
        }
    }
    EXPECT_GT(checked, 40);
}

} // namespace
