#pragma once

#include <ostream>
#include <string>

#include "platform/config/MultiSectionConfigFile.h"

// Writes the sections of a record database or statistics file for other
// programs, newest first.
//
// CSV: a header of every key seen, in first-seen order, then one row per
// record, cells quoted as RFC 4180 says (when they hold a comma, a quote, CR
// or LF; quotes doubled). A cell that a spreadsheet would run as a formula
// (starting with "=", "+", "-", "@", a tab or CR) gets a leading "'". Other
// bytes are written as they are.
//
// JSON lines: one object per record, keys in record order. Bytes that are not
// UTF-8 are written as \u00XX, so the output is always valid JSON.
// Both walk the file's cursor.
class RecordExport {
public:
    static void Csv(Configuration::MultiSectionConfigFile& file, std::ostream& out);
    static void JsonLines(Configuration::MultiSectionConfigFile& file, std::ostream& out);
};
