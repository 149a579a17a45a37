#pragma once

#include <cstddef>
#include <vector>

#include "platform/config/PackedSection.h"

namespace Configuration {

// The blocks of deleted sections, kept so that a new section of about the
// same size reuses one instead of allocating: a database at its limit adds
// one record for each one it removes, so it rarely allocates at all.
//
// At most kKept blocks are held; a block given when full takes the place of
// the oldest. Owned by one MultiSectionConfigFile; not thread-safe.
class BlockPool {
public:
    static constexpr size_t kKept = 64;  // a choice of sizes; more would only hold memory

    // Keeps BLOCK's storage for reuse (its contents do not matter).
    void Give(PackedSection&& block);
    // Moves the smallest kept block that holds SIZE bytes with at most a
    // quarter to spare into *BLOCK; false when none fits.
    bool Take(size_t size, PackedSection* block);

private:
    std::vector<PackedSection> mBlocks;  // oldest first
};

}  // namespace Configuration
