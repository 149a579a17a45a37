#pragma once

// Record kinds, which are also the database selector bits of the clear and
// flush commands. Databases are indexed 0 stated, 1 missed, 2 failed in every
// table and loop.
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
