#pragma once

#include <cstddef>
#include <vector>

#include "platform/config/PackedSection.h"

// The sections of a file in order, in a ring of slots: adding at either end
// and removing from either end cost O(1) and, once the ring has grown to the
// file's size, allocate nothing. Removing in the middle moves the sections
// after it. Not thread-safe.
class SectionRing {
public:
    size_t size() const { return mCount; }
    bool empty() const { return mCount == 0; }

    Configuration::PackedSection& operator[](size_t i) { return mSlots[Slot(i)]; }
    const Configuration::PackedSection& operator[](size_t i) const { return mSlots[Slot(i)]; }

    void push_front(Configuration::PackedSection&& section);
    void push_back(Configuration::PackedSection&& section);
    // Remove and return the section, so that its block can be used again.
    Configuration::PackedSection pop_front();
    Configuration::PackedSection pop_back();
    Configuration::PackedSection erase(size_t i);
    void clear();
    void swap(SectionRing& other);

private:
    size_t Slot(size_t i) const { return (mHead + i) % mSlots.size(); }
    void Grow();

    std::vector<Configuration::PackedSection> mSlots;
    size_t mHead = 0;
    size_t mCount = 0;
};
