#pragma once

#include <cstddef>
#include <vector>

// Large lists of a large file: tens of megabytes, written once front to
// back. The first write to each small memory page costs a trip into the
// system; where the system offers huge pages (Linux), asking for them cuts
// those trips by a factor of 512.

// Asks the system to back the `bytes` bytes at `data` with huge pages where
// it can; nothing happens for small buffers or elsewhere.
void preferHugePages(const void* data, std::size_t bytes);

// Gives the memory pages wholly inside the `bytes` bytes at `data` back to
// the system where it can (Linux), so that a large list read front to back
// costs no more memory than what is still ahead. What they held is lost:
// only for parts of a list that are never read again.
void discardPages(const void* data, std::size_t bytes);

// Reserves room for `count` items in `list`, in huge pages where offered.
template <typename T>
void reserveLarge(std::vector<T>& list, std::size_t count)
{
    list.reserve(count);
    preferHugePages(list.data(), list.capacity() * sizeof(T));
}

// Frees `list`, giving its pages back to the system first: freed memory
// amid the heap would otherwise stay with the process, and a stage that
// frees its lists one by one as it makes its results would hold both.
template <typename T>
void releaseLarge(std::vector<T>& list)
{
    discardPages(list.data(), list.capacity() * sizeof(T));
    list = std::vector<T>();
}
