// The polyphony limit of a channel: notes that would sound beyond the limit
// are cut where a new group starts, or dropped when they start with it.
//
// Two passes make the same changes and print the same lines in the same
// order. The plain walk goes over the list again from its start for every
// note, so it costs the square of the channel's length; it is kept for the
// lists the indexed pass cannot vouch for (negative deltas, positions or
// lengths near the int range, where sums wrap, and a negative limit), and
// as the oracle the tests compare the indexed pass with. The indexed pass
// keeps the sounding notes in an index, so that a channel of a million
// notes costs about the number of notes sounding together per note.
//
// The limit that ranks the notes instead (-c) is in ChannelChords.
#include "arrange/ChannelPolyphony.h"

#include "arrange/ChannelChords.h"
#include "arrange/ChannelQuantisation.h"

#include "core/Message.h"
#include "core/Wrap.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <queue>
#include <vector>

namespace {

// The grid position a debug line shows: whole eighth-note triplets from 1.
double shownPosition(int position)
{
    return (position / 24) / 3.0 + 1.0;
}

// --- the plain walk ---

struct Rescan {
    std::vector<Element>& elements;
    int limit;
    int count = 0;
    int peak = 0;

    // A. The note at `i` begins a new group at `now`: count it and the
    //    earlier notes that still sound; cut those beyond the limit.
    void newGroup(std::size_t i, int now)
    {
        count = 1;
        int pos = 0;
        for (std::size_t k = 0; k < i; ++k) {
            Element& x = elements[k];
            pos = addWrap(pos, x.delta);
            if (!x.isNote() || !(addWrap(pos, x.length) > now))
                continue;
            if (limit != 0 && count + 1 > limit)
                x.length = correctLength(subWrap(now, pos));
            else
                ++count;
            if (count > peak) {
                peak = count;
                Msg(Level::Debug, "polyphonyA %d @ %g\n", count, shownPosition(pos));
            }
        }
    }

    // B. The note at `i` joins the group at `now`; beyond the limit the
    //    first-listed earlier note that still sounds gives way: dropped if it
    //    starts now, else cut to end now. Returns the note's index afterwards.
    std::size_t joinGroup(std::size_t i, int now)
    {
        ++count;
        if (limit != 0 && count > limit) {
            int pos = 0;
            for (std::size_t k = 0; k < i; ++k) {
                Element& x = elements[k];
                pos = addWrap(pos, x.delta);
                if (!x.isNote() || !(addWrap(pos, x.length) > now))
                    continue;
                if (pos == now) {
                    // Its delta passes to the next element (there is one, at
                    // the latest the current note), so no grid position changes.
                    elements[k + 1].delta = addWrap(elements[k + 1].delta, x.delta);
                    elements.erase(elements.begin() + static_cast<std::ptrdiff_t>(k));
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
            Msg(Level::Debug, "polyphonyB %d @ %g\n", count, shownPosition(now));
        }
        return i;
    }

    int run()
    {
        int now = 0;
        int groupStart = 0;
        for (std::size_t i = 0; i < elements.size(); ++i) {
            now = addWrap(now, elements[i].delta);
            if (!elements[i].isNote())
                continue;
            if (now != groupStart) {
                newGroup(i, now);
                groupStart = now;
            } else {
                i = joinGroup(i, now);
            }
        }
        return peak;
    }
};

// --- the indexed pass ---

// Positions and lengths the indexed pass accepts: far enough from the int
// range that no sum it forms can wrap.
constexpr std::int64_t fastBound = std::int64_t{1} << 29;

class IndexedPass {
public:
    IndexedPass(std::vector<Element>& elements, int limit) : elements_(elements), limit_(limit) {}

    // False, having changed nothing, for a list outside what it handles.
    bool prepare();
    // The pass itself; returns the peak.
    int run();

private:
    enum : unsigned char { isNote = 1, sounding = 2, dropped = 4 };
    // A note's end and id in one number that orders by end, then id: the
    // heap then compares plain integers.
    static std::uint64_t ending(int end, std::uint32_t id)
    {
        return (std::uint64_t{static_cast<std::uint32_t>(end) ^ 0x80000000u} << 32) | id;
    }
    static int endOfEnding(std::uint64_t ending)
    {
        return static_cast<int>(static_cast<std::uint32_t>(ending >> 32) ^ 0x80000000u);
    }

    std::vector<Element>& elements_;
    int limit_;
    std::vector<int> posOf_;
    std::vector<unsigned char> state_;
    // Ends of the sounding notes, soonest first (entries of cut notes stay
    // behind and are recognised as stale).
    std::priority_queue<std::uint64_t, std::vector<std::uint64_t>, std::greater<std::uint64_t>> endings_;
    // Sounding notes in list order, with removed ones among them.
    std::vector<std::uint32_t> active_;
    std::size_t head_ = 0; // entries of active_ before it are all removed
    std::size_t live_ = 0; // sounding notes
    int count_ = 0;
    int peak_ = 0;
    bool anyDropped_ = false;
    std::vector<std::uint32_t> tail_;

    int endOf(std::uint32_t id) const { return posOf_[id] + elements_[id].length; }
    void deactivate(std::uint32_t id);
    void compact();
    void cut(std::uint32_t id, int now);
    void retireEnded(int now);
    void newGroupUnlimited();
    void newGroupLimited(int now);
    void joinGroup(int now);
    void removeDropped();
};

bool IndexedPass::prepare()
{
    if (limit_ < 0)
        return false;
    const std::size_t n = elements_.size();
    if (n > std::numeric_limits<std::uint32_t>::max())
        return false;
    posOf_.resize(n);
    state_.assign(n, 0);
    std::int64_t sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const Element& e = elements_[i];
        if (e.delta < 0)
            return false;
        sum += e.delta;
        if (sum > fastBound)
            return false;
        posOf_[i] = static_cast<int>(sum);
        if (e.isNote()) {
            if (e.length < -fastBound || e.length > fastBound)
                return false;
            state_[i] = isNote;
        }
    }
    return true;
}

void IndexedPass::deactivate(std::uint32_t id)
{
    state_[id] = static_cast<unsigned char>(state_[id] & ~sounding);
    --live_;
}

void IndexedPass::compact()
{
    std::size_t out = 0;
    for (std::size_t j = head_; j < active_.size(); ++j)
        if (state_[active_[j]] & sounding)
            active_[out++] = active_[j];
    active_.resize(out);
    head_ = 0;
}

// A note that gives way ends at `now`, as far as the notation allows.
void IndexedPass::cut(std::uint32_t id, int now)
{
    elements_[id].length = correctLength(now - posOf_[id]);
    const int end = endOf(id);
    if (end <= now)
        deactivate(id);
    else
        endings_.push(ending(end, id));
}

// The notes that ended by `now` leave the index.
void IndexedPass::retireEnded(int now)
{
    while (!endings_.empty() && endOfEnding(endings_.top()) <= now) {
        const int end = endOfEnding(endings_.top());
        const auto id = static_cast<std::uint32_t>(endings_.top());
        endings_.pop();
        if ((state_[id] & sounding) && endOf(id) == end)
            deactivate(id);
    }
    if (active_.size() - head_ > 2 * live_ + 64)
        compact();
}

// A new group without a limit: nothing is cut; only the counts above the
// peak print, each at the sounding note that reaches it.
void IndexedPass::newGroupUnlimited()
{
    const std::size_t m = live_;
    const std::size_t from = std::max<std::size_t>(1, static_cast<std::size_t>(peak_));
    if (m >= from) {
        tail_.clear();
        for (std::size_t j = active_.size(); j-- > head_ && tail_.size() < m - from + 1;)
            if (state_[active_[j]] & sounding)
                tail_.push_back(active_[j]);
        std::reverse(tail_.begin(), tail_.end());
        // The j-th sounding note (from 1) brings the count to 1 + j.
        std::size_t j = from;
        for (std::uint32_t id : tail_) {
            peak_ = static_cast<int>(1 + j++);
            Msg(Level::Debug, "polyphonyA %d @ %g\n", peak_, shownPosition(posOf_[id]));
        }
    }
    count_ = static_cast<int>(1 + m);
}

// A new group under a limit: the sounding notes beyond it are cut.
void IndexedPass::newGroupLimited(int now)
{
    compact();
    for (std::size_t j = 0; j < active_.size(); ++j) {
        const std::uint32_t id = active_[j];
        if (count_ + 1 > limit_)
            cut(id, now);
        else
            ++count_;
        if (count_ > peak_) {
            peak_ = count_;
            Msg(Level::Debug, "polyphonyA %d @ %g\n", count_, shownPosition(posOf_[id]));
        }
    }
}

// A note joins the current group; beyond the limit the first-listed
// sounding note gives way: dropped if it starts now, else cut.
void IndexedPass::joinGroup(int now)
{
    ++count_;
    if (limit_ != 0 && count_ > limit_) {
        if (live_ > 0) {
            while (!(state_[active_[head_]] & sounding))
                ++head_;
            const std::uint32_t id = active_[head_];
            if (posOf_[id] == now) {
                // Its delta passes to the next element that is still listed
                // (it exists: at the latest the joining note).
                std::size_t s = id + 1;
                while (state_[s] & dropped)
                    ++s;
                elements_[s].delta = addWrap(elements_[s].delta, elements_[id].delta);
                state_[id] = static_cast<unsigned char>(state_[id] | dropped);
                deactivate(id);
                anyDropped_ = true;
            } else {
                cut(id, now);
            }
        }
        --count_;
    }
    if (count_ > peak_) {
        peak_ = count_;
        Msg(Level::Debug, "polyphonyB %d @ %g\n", count_, shownPosition(now));
    }
}

// Dropped notes leave the list together, keeping the order.
void IndexedPass::removeDropped()
{
    std::size_t out = 0;
    for (std::size_t i = 0; i < elements_.size(); ++i)
        if (!(state_[i] & dropped))
            elements_[out++] = elements_[i];
    elements_.resize(out);
}

int IndexedPass::run()
{
    int groupStart = 0;
    for (std::size_t i = 0; i < elements_.size(); ++i) {
        if (!(state_[i] & isNote))
            continue;
        const int now = posOf_[i];
        if (now != groupStart) {
            retireEnded(now);
            count_ = 1;
            if (limit_ == 0)
                newGroupUnlimited();
            else
                newGroupLimited(now);
            groupStart = now;
        } else {
            joinGroup(now);
        }
        // The note itself sounds on for the notes after it.
        const int length = elements_[i].length;
        if (length > 0) {
            const auto self = static_cast<std::uint32_t>(i);
            state_[i] = static_cast<unsigned char>(state_[i] | sounding);
            active_.push_back(self);
            ++live_;
            endings_.push(ending(now + length, self));
        }
    }
    if (anyDropped_)
        removeDropped();
    return peak_;
}

} // namespace

int fixPolyphony(Channel& channel, int limit, bool outerVoices)
{
    if (!channel.used)
        return 0;
    if (outerVoices && limit > 0)
        return keepOuterVoices(channel, limit);
    IndexedPass pass(channel.elements, limit);
    if (pass.prepare())
        return pass.run();
    return Rescan{channel.elements, limit}.run();
}
