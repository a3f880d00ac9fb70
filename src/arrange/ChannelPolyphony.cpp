// The polyphony limit of a channel: notes that would sound beyond the limit
// are cut where a new group starts, or dropped when they start with it.
#include "arrange/Channel.h"

#include "core/ElementCast.h"
#include "core/Message.h"
#include "core/Note.h"
#include "core/Wrap.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <queue>
#include <utility>
#include <vector>

namespace {

// The polyphony pass in its plain form: for every note that begins a new
// group the list is walked again from its start. Used where the fast form
// below cannot vouch for its arithmetic (deltas below 0, positions or
// lengths near the int range, missing entries, a negative limit).
int fixPolyphonyRescan(std::vector<std::unique_ptr<Element>>& elements, int limit)
{
    int now = 0;
    int groupStart = 0;
    int count = 0;
    int peak = 0;

    // The list's length is re-read at every step: notes may be removed.
    for (std::size_t i = 0; i < elements.size(); ++i) {
        Element* current = elements[i].get();
        if (current == nullptr)
            continue;
        now = addWrap(now, current->delta);
        if (elementCast<Note>(current) == nullptr)
            continue;

        if (now != groupStart) {
            // A. The note begins a new group: count it and the earlier notes
            //    that still sound; cut those beyond the limit to end at now.
            count = 1;
            int pos = 0;
            for (std::size_t k = 0; k < i; ++k) {
                Element* earlier = elements[k].get();
                if (earlier == nullptr)
                    continue;
                pos = addWrap(pos, earlier->delta);
                auto* x = elementCast<Note>(earlier);
                if (x == nullptr || !(addWrap(pos, x->length) > now))
                    continue;
                if (limit != 0 && count + 1 > limit)
                    x->length = Channel::correctLength(subWrap(now, pos));
                else
                    ++count;
                if (count > peak) {
                    peak = count;
                    Msg(7, "polyphonyA %d @ %g\n", count, (pos / 24) / 3.0 + 1.0);
                }
            }
            groupStart = now;
        } else {
            // B. The note joins the current group.
            ++count;
            if (limit != 0 && count > limit) {
                // The first-listed earlier note that still sounds gives way:
                // dropped if it starts now, else cut to end now.
                int pos = 0;
                for (std::size_t k = 0; k < i; ++k) {
                    Element* earlier = elements[k].get();
                    if (earlier == nullptr)
                        continue;
                    pos = addWrap(pos, earlier->delta);
                    auto* x = elementCast<Note>(earlier);
                    if (x == nullptr || !(addWrap(pos, x->length) > now))
                        continue;
                    if (pos == now) {
                        // Its delta passes to the next element, so that no
                        // grid position changes. As k < i, that element
                        // exists (at the latest the current note itself); the
                        // guard only keeps a missing successor from being
                        // touched, in which case the delta would be lost.
                        for (std::size_t s = k + 1; s < elements.size(); ++s) {
                            if (elements[s]) {
                                elements[s]->delta = addWrap(elements[s]->delta, x->delta);
                                break;
                            }
                        }
                        elements.erase(elements.begin() + static_cast<std::ptrdiff_t>(k));
                        --i; // designates the current note again
                    } else {
                        x->length = Channel::correctLength(subWrap(now, pos));
                    }
                    break;
                }
                --count;
            }
            if (count > peak) {
                peak = count;
                Msg(7, "polyphonyB %d @ %g\n", count, (now / 24) / 3.0 + 1.0);
            }
        }
    }
    return peak;
}


// Positions and lengths the fast pass below accepts: far enough from the int
// range that no sum it forms can wrap.
constexpr std::int64_t fastBound = std::int64_t{1} << 29;

// The polyphony pass with an index of the notes that still sound: they are
// kept in list order (a list with lazily removed entries) together with a
// heap of their end positions, so that each note costs about the number of
// notes sounding with it rather than a walk over the whole list. It makes
// the same changes and prints the same lines in the same order as the walk
// above. Dropped notes leave the list together at the end. Returns false,
// having changed nothing, for a list outside what it handles.
bool fixPolyphonyFast(std::vector<std::unique_ptr<Element>>& elements, int limit, int& result)
{
    if (limit < 0)
        return false;
    const std::size_t n = elements.size();
    if (n > std::numeric_limits<std::uint32_t>::max())
        return false;

    enum : unsigned char { isNote = 1, sounding = 2, dropped = 4 };
    std::vector<int> posOf(n);
    std::vector<unsigned char> state(n, 0);
    std::int64_t sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        Element* e = elements[i].get();
        if (e == nullptr || e->delta < 0)
            return false;
        sum += e->delta;
        if (sum > fastBound)
            return false;
        posOf[i] = static_cast<int>(sum);
        if (const Note* note = elementCast<Note>(e)) {
            if (note->length < -fastBound || note->length > fastBound)
                return false;
            state[i] = isNote;
        }
    }

    const auto noteAt = [&](std::uint32_t id) { return static_cast<Note*>(elements[id].get()); };
    const auto endOf = [&](std::uint32_t id) { return posOf[id] + noteAt(id)->length; };

    struct Ending {
        int end;
        std::uint32_t id;
        bool operator>(const Ending& o) const { return end != o.end ? end > o.end : id > o.id; }
    };
    std::priority_queue<Ending, std::vector<Ending>, std::greater<Ending>> endings;
    std::vector<std::uint32_t> active; // sounding notes in list order, with removed ones
    std::size_t head = 0;              // entries before it are all removed
    std::size_t live = 0;

    const auto deactivate = [&](std::uint32_t id) {
        state[id] = static_cast<unsigned char>(state[id] & ~sounding);
        --live;
    };
    const auto compact = [&]() {
        std::size_t out = 0;
        for (std::size_t j = head; j < active.size(); ++j)
            if (state[active[j]] & sounding)
                active[out++] = active[j];
        active.resize(out);
        head = 0;
    };
    // A note that gives way ends at `now`, as far as the notation allows.
    const auto cut = [&](std::uint32_t id, int now) {
        noteAt(id)->length = Channel::correctLength(now - posOf[id]);
        const int end = endOf(id);
        if (end <= now)
            deactivate(id);
        else
            endings.push(Ending{end, id});
    };

    int groupStart = 0;
    int count = 0;
    int peak = 0;
    bool anyDropped = false;
    std::vector<std::uint32_t> tail;

    for (std::size_t i = 0; i < n; ++i) {
        if (!(state[i] & isNote))
            continue;
        const int now = posOf[i];
        const auto self = static_cast<std::uint32_t>(i);

        if (now != groupStart) {
            // A. A new group: the notes that ended by now leave the index.
            while (!endings.empty() && endings.top().end <= now) {
                const Ending top = endings.top();
                endings.pop();
                if ((state[top.id] & sounding) && endOf(top.id) == top.end)
                    deactivate(top.id);
            }
            if (active.size() - head > 2 * live + 64)
                compact();
            count = 1;
            if (limit == 0) {
                // Nothing is cut; only the counts above the peak print.
                const std::size_t m = live;
                const std::size_t from = std::max<std::size_t>(1, static_cast<std::size_t>(peak));
                if (m >= from) {
                    tail.clear();
                    for (std::size_t j = active.size(); j-- > head && tail.size() < m - from + 1;)
                        if (state[active[j]] & sounding)
                            tail.push_back(active[j]);
                    std::reverse(tail.begin(), tail.end());
                    // The j-th sounding note (from 1) brings the count to 1 + j.
                    std::size_t j = from;
                    for (std::uint32_t id : tail) {
                        peak = static_cast<int>(1 + j++);
                        Msg(7, "polyphonyA %d @ %g\n", peak, (posOf[id] / 24) / 3.0 + 1.0);
                    }
                }
                count = static_cast<int>(1 + m);
            } else {
                compact();
                for (std::size_t j = 0; j < active.size(); ++j) {
                    const std::uint32_t id = active[j];
                    if (count + 1 > limit)
                        cut(id, now);
                    else
                        ++count;
                    if (count > peak) {
                        peak = count;
                        Msg(7, "polyphonyA %d @ %g\n", count, (posOf[id] / 24) / 3.0 + 1.0);
                    }
                }
            }
            groupStart = now;
        } else {
            // B. The note joins the current group.
            ++count;
            if (limit != 0 && count > limit) {
                if (live > 0) {
                    while (!(state[active[head]] & sounding))
                        ++head;
                    const std::uint32_t id = active[head];
                    if (posOf[id] == now) {
                        // Dropped; its delta passes to the next element that
                        // is still listed (it exists: at the latest this note).
                        std::size_t s = id + 1;
                        while (state[s] & dropped)
                            ++s;
                        elements[s]->delta = addWrap(elements[s]->delta, elements[id]->delta);
                        state[id] = static_cast<unsigned char>(state[id] | dropped);
                        deactivate(id);
                        anyDropped = true;
                    } else {
                        cut(id, now);
                    }
                }
                --count;
            }
            if (count > peak) {
                peak = count;
                Msg(7, "polyphonyB %d @ %g\n", count, (now / 24) / 3.0 + 1.0);
            }
        }

        // The note itself sounds on for the notes after it.
        const int length = noteAt(self)->length;
        if (length > 0) {
            state[i] = static_cast<unsigned char>(state[i] | sounding);
            active.push_back(self);
            ++live;
            endings.push(Ending{now + length, self});
        }
    }

    if (anyDropped) {
        std::size_t out = 0;
        for (std::size_t i = 0; i < n; ++i) {
            if (state[i] & dropped)
                elements[i].reset();
            else
                elements[out++] = std::move(elements[i]);
        }
        elements.resize(out);
    }
    result = peak;
    return true;
}

} // namespace

int Channel::fixPolyphony(int limit)
{
    if (!used)
        return 0;
    int peak = 0;
    if (fixPolyphonyFast(elements, limit, peak))
        return peak;
    return fixPolyphonyRescan(elements, limit);
}
