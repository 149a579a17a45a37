#include "platform/config/BlockPool.h"

#include <utility>

namespace Configuration {

void BlockPool::Give(PackedSection&& block) {
    if (block.Capacity() == 0)
        return;
    if (mBlocks.size() < kKept) {
        mBlocks.push_back(std::move(block));
        return;
    }
    for (size_t i = 1; i < mBlocks.size(); ++i) mBlocks[i - 1] = std::move(mBlocks[i]);
    mBlocks.back() = std::move(block);
}

bool BlockPool::Take(size_t size, PackedSection* block) {
    size_t best = mBlocks.size();
    for (size_t i = 0; i < mBlocks.size(); ++i) {
        const size_t capacity = mBlocks[i].Capacity();
        if (capacity >= size && capacity <= size + size / 4 &&
            (best == mBlocks.size() || capacity < mBlocks[best].Capacity()))
            best = i;
    }
    if (best == mBlocks.size())
        return false;
    *block = std::move(mBlocks[best]);
    mBlocks.erase(mBlocks.begin() + static_cast<long>(best));
    return true;
}

}  // namespace Configuration
