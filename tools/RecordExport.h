#pragma once

#include <ostream>
#include <string>

#include "platform/config/MultiSectionConfigFile.h"

// Writes the sections of a record database or statistics file for other
// programs, newest first.
//
// CSV: a header of every key seen, in first-seen order, then one row per
// record, cells quoted as RFC 4180 says (when they hold a comma, a quote, CR
// or LF; quotes doubled). For a spreadsheet (the default), a cell that it
// would run as a formula (starting with "=", "+", "-", "@", a tab or CR)
// gets a leading "'"; for other consumers cells are the values as they are.
// Other bytes are written as they are.
//
// JSON lines: one object per record, keys in record order, always valid
// UTF-8 JSON (see JsonText). A value that is not UTF-8 is followed by a
// member KEY@base64 holding its exact bytes.
// Both walk the file's cursor.
class RecordExport {
public:
    static void Csv(Configuration::MultiSectionConfigFile& file, std::ostream& out,
                    bool forSpreadsheet = true);
    static void JsonLines(Configuration::MultiSectionConfigFile& file, std::ostream& out);
};
