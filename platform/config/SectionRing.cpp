#include "platform/config/SectionRing.h"

#include <cassert>
#include <utility>

using Configuration::PackedSection;

void SectionRing::Grow() {
    std::vector<PackedSection> bigger(mSlots.empty() ? 16 : mSlots.size() * 2);
    for (size_t i = 0; i < mCount; ++i) bigger[i] = std::move(mSlots[Slot(i)]);
    mSlots.swap(bigger);
    mHead = 0;
}

void SectionRing::push_front(PackedSection&& section) {
    if (mCount == mSlots.size())
        Grow();
    mHead = (mHead + mSlots.size() - 1) % mSlots.size();
    mSlots[mHead] = std::move(section);
    ++mCount;
}

void SectionRing::push_back(PackedSection&& section) {
    if (mCount == mSlots.size())
        Grow();
    mSlots[Slot(mCount)] = std::move(section);
    ++mCount;
}

PackedSection SectionRing::pop_front() {
    assert(mCount > 0);  // callers check for a current section first
    PackedSection out = std::move(mSlots[mHead]);
    mHead = (mHead + 1) % mSlots.size();
    --mCount;
    return out;
}

PackedSection SectionRing::pop_back() {
    assert(mCount > 0);
    --mCount;
    return std::move(mSlots[Slot(mCount)]);
}

PackedSection SectionRing::erase(size_t i) {
    assert(i < mCount);
    PackedSection out = std::move((*this)[i]);
    for (size_t k = i; k + 1 < mCount; ++k) (*this)[k] = std::move((*this)[k + 1]);
    --mCount;
    return out;
}

void SectionRing::clear() {
    for (size_t i = 0; i < mCount; ++i) (*this)[i] = PackedSection();
    mCount = 0;
    mHead = 0;
}

void SectionRing::swap(SectionRing& other) {
    mSlots.swap(other.mSlots);
    std::swap(mHead, other.mHead);
    std::swap(mCount, other.mCount);
}
