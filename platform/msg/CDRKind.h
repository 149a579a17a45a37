#pragma once

#include <cstdint>
#include <string_view>

// Record kinds, as call control sends them and as the database selector
// bits of the clear, flush and read commands. Databases are indexed 0
// stated, 1 missed, 2 failed in every table and loop.
enum CDRKind {
    CDR_STATED = 1,
    CDR_MISSED = 2,
    CDR_FAILED = 4,
};

// The kind of each database, by its index.
constexpr int kCDRKinds[3] = {CDR_STATED, CDR_MISSED, CDR_FAILED};

// The database index of KIND, or -1 for a value that is not a kind.
inline int CDRKindIndex(int kind) {
    switch (kind) {
        case CDR_STATED:
            return 0;
        case CDR_MISSED:
            return 1;
        case CDR_FAILED:
            return 2;
        default:
            return -1;
    }
}

// Whether ID A was given before ID B of the same database. IDs are compared
// in serial order (as RFC 1982 compares serial numbers): the sequence goes
// on from 2^32 - 1 to 0, and of two IDs less than 2^31 apart the one given
// later is after the other.
inline bool IdBefore(uint32_t a, uint32_t b) {
    return static_cast<int32_t>(a - b) < 0;
}

// The name of database INDEX in the status, the page's address and the
// tools' options: "stated", "missed", "failed".
inline const char* KindName(int index) {
    static const char* const kNames[3] = {"stated", "missed", "failed"};
    return kNames[index];
}

// The database index of NAME, or -1 for another name.
inline int KindIndex(const std::string_view& name) {
    for (int index = 0; index < 3; ++index)
        if (name == KindName(index))
            return index;
    return -1;
}
