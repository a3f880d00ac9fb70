// The polyphony limit of a channel: notes that would sound beyond the limit
// are cut where a new group starts, or dropped when they start with it.
//
// The passes make the same changes and print the same lines in the same
// order. The plain walk (in PolyphonyWalk) goes over the list again from its
// start for every note, so it costs the square of the channel's length; it
// takes over where
// the one-walk passes stop (a negative delta, positions or lengths near the
// int range, where sums wrap) and does the negative limits, and it is the
// oracle the tests compare the one-walk passes with. These go over the list
// once: without a limit only the number of sounding notes matters, under a
// limit the few that sound are kept in list order.
//
// The limit that ranks the notes instead (-c) is in ChannelChords.
#include "arrange/ChannelPolyphony.h"

#include "arrange/ChannelChords.h"
#include "arrange/ChannelQuantisation.h"
#include "arrange/PolyphonyWalk.h"

#include "core/WrappingArithmetic.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace {

// A list of plain values that keeps its storage: clearing and adding cost
// no more than a store.
template <typename T>
class Buffer {
public:
    std::size_t size() const { return size_; }
    T& operator[](std::size_t k) { return items_[k]; }

    void add(const T& item)
    {
        if (size_ == items_.size())
            items_.resize(2 * size_ + 16);
        items_[size_++] = item;
    }
    // Keeps the first `size` items (no more than there are).
    void truncate(std::size_t size) { size_ = size; }

private:
    std::vector<T> items_;
    std::size_t size_ = 0;
};

// The ends of the sounding notes, soonest first: a binary heap, as only
// their number is asked for.
class EndHeap {
public:
    std::size_t size() const { return ends_.size(); }

    void push(int end)
    {
        ends_.add(end);
        std::size_t k = ends_.size() - 1;
        while (k > 0) {
            const std::size_t parent = (k - 1) / 2;
            if (ends_[parent] <= end)
                break;
            ends_[k] = ends_[parent];
            k = parent;
        }
        ends_[k] = end;
    }

    // The notes that ended by `now` leave.
    void retire(int now)
    {
        while (ends_.size() > 0 && ends_[0] <= now)
            popSoonest();
    }

private:
    Buffer<int> ends_;

    void popSoonest()
    {
        const std::size_t n = ends_.size() - 1;
        const int last = ends_[n];
        ends_.truncate(n);
        std::size_t k = 0;
        for (std::size_t child = 1; child < n; child = 2 * k + 1) {
            if (child + 1 < n && ends_[child + 1] < ends_[child])
                ++child;
            if (last <= ends_[child])
                break;
            ends_[k] = ends_[child];
            k = child;
        }
        if (n > 0)
            ends_[k] = last;
    }
};

// Without a limit nothing changes: the peak is all there is to find, and a
// count of the sounding notes gives it. A new group raises the peak only
// when every note sounding at the previous group and all of that group's
// notes still sound (the peak has counted them all together), so the one
// line it prints is at the last of them: the note just before. At a note
// out of bounds the walk takes over.
int unlimitedPeak(std::vector<Element>& elements)
{
    const Element* const list = elements.data();
    EndHeap ends; // the notes sounding from before the current group
    std::size_t groupFirst = 0; // the first element of the current group
    int groupStart = 0;
    int count = 0;
    int peak = 0;
    std::optional<PolyphonyWalkState> rest = walkInBounds(elements, [&](std::size_t i, int now) {
        if (now != groupStart) {
            ends.retire(now);
            // The notes of the group before that sound on; most have ended
            // by now and never enter the heap.
            const int gap = now - groupStart;
            for (std::size_t k = groupFirst; k < i; ++k)
                if (list[k].isNote() && list[k].length > gap)
                    ends.push(groupStart + list[k].length);
            groupFirst = i;
            count = 1 + static_cast<int>(ends.size());
            if (count > 1 && count > peak) {
                peak = count;
                printPeak(false, count, groupStart);
            }
            groupStart = now;
        } else if (++count > peak) {
            peak = count;
            printPeak(true, count, now);
        }
    });
    if (!rest)
        return peak;
    rest->groupStart = groupStart;
    rest->count = count;
    rest->peak = peak;
    return walkPolyphony(elements, 0, *rest);
}

// Under a limit, the notes sounding from before the current group, in list
// order: few, as all but the first ones give way at each new group. The
// current group's own notes are read from the list.
class LimitedPass {
public:
    LimitedPass(std::vector<Element>& elements, int limit) : elements_(elements), limit_(limit) {}

    // Changes the list; returns the peak.
    int run();

private:
    struct Sounding {
        std::uint32_t id; // its index in the list
        int position;
        int end;
    };

    std::vector<Element>& elements_;
    int limit_;
    Buffer<Sounding> sounding_;
    std::size_t head_ = 0; // entries of sounding_ before it have left
    int groupStart_ = 0;   // the current group's position
    // The current group's elements from here on are all still listed; of
    // those before it, none sounds any longer.
    std::size_t groupNext_ = 0;
    Buffer<std::uint32_t> dropped_; // in list order
    int count_ = 0;
    int peak_ = 0;

    void cut(Sounding& note, int now);
    void countOrCut(Sounding& note, int now);
    void newGroup(std::size_t i, int now);
    void joinGroup(std::size_t i, int now);
    void removeDropped();
    int handOver(PolyphonyWalkState state);
};

// A note that gives way ends at `now`, as far as the notation allows.
void LimitedPass::cut(Sounding& note, int now)
{
    const int length = correctLength(now - note.position);
    elements_[note.id].length = length;
    note.end = note.position + length;
}

// A note still sounding at a new group counts, or is cut beyond the limit.
void LimitedPass::countOrCut(Sounding& note, int now)
{
    if (count_ + 1 > limit_)
        cut(note, now);
    else
        ++count_;
    if (count_ > peak_) {
        peak_ = count_;
        printPeak(false, count_, note.position);
    }
}

// The note at `i` begins a new group at `now`: the sounding notes beyond
// the limit are cut, those from before the last group first, then its own.
void LimitedPass::newGroup(std::size_t i, int now)
{
    count_ = 1;
    std::size_t out = 0;
    for (std::size_t j = head_; j < sounding_.size(); ++j) {
        Sounding note = sounding_[j];
        if (note.end <= now)
            continue;
        countOrCut(note, now);
        if (note.end > now)
            sounding_[out++] = note;
    }
    sounding_.truncate(out);
    head_ = 0;
    const int gap = now - groupStart_;
    for (std::size_t k = groupNext_; k < i; ++k) {
        const Element& e = elements_[k];
        if (!e.isNote() || e.length <= gap)
            continue;
        Sounding note{static_cast<std::uint32_t>(k), groupStart_, groupStart_ + e.length};
        countOrCut(note, now);
        if (note.end > now)
            sounding_.add(note);
    }
    groupStart_ = now;
    groupNext_ = i;
}

// The note at `i` joins the current group; beyond the limit the first-listed
// sounding note gives way: one from before is cut, one of the group dropped.
void LimitedPass::joinGroup(std::size_t i, int now)
{
    ++count_;
    if (count_ > limit_) {
        if (head_ < sounding_.size()) {
            Sounding& first = sounding_[head_];
            cut(first, now);
            if (first.end <= now)
                ++head_;
        } else {
            while (groupNext_ < i && !(elements_[groupNext_].isNote() && elements_[groupNext_].length > 0))
                ++groupNext_;
            if (groupNext_ < i)
                dropped_.add(static_cast<std::uint32_t>(groupNext_++));
        }
        --count_;
    }
    if (count_ > peak_) {
        peak_ = count_;
        printPeak(true, count_, now);
    }
}

// Dropped notes leave the list together, keeping the order; each one's
// delta passes to the next element still listed (there is one: a group's
// last note stays), so that no grid position changes.
void LimitedPass::removeDropped()
{
    const auto at = [this](std::size_t k) { return elements_.begin() + static_cast<std::ptrdiff_t>(k); };
    std::size_t out = dropped_[0];
    std::size_t k = 0;
    while (k < dropped_.size()) {
        // A run of dropped notes, then the elements kept up to the next one.
        std::size_t from = dropped_[k];
        int carried = 0;
        for (; k < dropped_.size() && dropped_[k] == from; ++k, ++from)
            carried = addWrap(carried, elements_[from].delta);
        const std::size_t to = k < dropped_.size() ? dropped_[k] : elements_.size();
        if (from < to)
            elements_[from].delta = addWrap(elements_[from].delta, carried);
        std::copy(at(from), at(to), at(out));
        out += to - from;
    }
    elements_.resize(out);
    dropped_.truncate(0);
}

// At a note out of bounds the walk takes over: the list stands as the walk
// would have left it (once the dropped notes leave), and so do the counts.
int LimitedPass::handOver(PolyphonyWalkState state)
{
    if (dropped_.size() > 0) {
        state.next -= dropped_.size();
        removeDropped();
    }
    state.count = count_;
    state.peak = peak_;
    return walkPolyphony(elements_, limit_, state);
}

int LimitedPass::run()
{
    if (elements_.size() > std::numeric_limits<std::uint32_t>::max())
        return walkPolyphony(elements_, limit_);
    std::optional<PolyphonyWalkState> rest = walkInBounds(elements_, [this](std::size_t i, int now) {
        if (now != groupStart_)
            newGroup(i, now);
        else
            joinGroup(i, now);
    });
    if (rest) {
        rest->groupStart = groupStart_;
        return handOver(*rest);
    }
    if (dropped_.size() > 0)
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
    if (limit == 0)
        return unlimitedPeak(channel.elements);
    if (limit > 0)
        return LimitedPass(channel.elements, limit).run();
    return walkPolyphony(channel.elements, limit);
}
