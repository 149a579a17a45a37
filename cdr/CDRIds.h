#pragma once

#include <cstdint>
#include <string>

#include "platform/msg/CDRKind.h"

// The IDs of one record database beyond what its file shows. The file
// DATABASE.ids keeps the next ID to give and, after a clear, the first ID
// the clear left: so a database that a clear emptied does not start again
// at 0 after a restart, an ID delivered or cleared is never given again, and
// a clear is decided once this file says so (a crash after that finishes
// it at the next start). Written only at a clear and after a delivery.
//
// IDs are compared in serial order (see IdBefore). Stateless.
class CDRIds {
public:
    static bool Before(uint32_t a, uint32_t b) { return IdBefore(a, b); }
    // The later of A and B.
    static uint32_t Later(uint32_t a, uint32_t b) { return Before(a, b) ? b : a; }

    struct Kept {
        bool mFound = false;  // the file was there
        uint32_t mNext = 0;
        bool mCleared = false;  // a clear was kept: records before mFirstKept are gone
        uint32_t mFirstKept = 0;
    };
    // What DATABASE_PATH.ids keeps; read leniently ("next=N", "cleared=N"
    // lines, anything else skipped). Throws the configuration library's
    // FileError when it is there but cannot be read.
    static Kept Read(const std::string& databasePath);
    // Replaces it durably with KEPT; throws FileError.
    static void Write(const std::string& databasePath, const Kept& kept);
};
