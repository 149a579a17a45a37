#pragma once

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "platform/config/MultiSectionConfigFile.h"

// Writes records for other programs: from a record database or statistics
// file (cdrctl export), or as the recorder lists them (cdrctl list, which
// also writes the page's downloads).
//
// CSV: cells quoted as RFC 4180 says (when they hold a comma, a quote, CR or
// LF; quotes doubled), lines ended by CRLF, other bytes as they are. By
// default the values are exact. For a spreadsheet, a cell that it would run
// as a formula (starting with "=", "+", "-", "@", a tab or CR) gets a
// leading "'".
//
// JSON lines: one object per record, keys in record order, always valid
// UTF-8 JSON (see JsonText). A key that the recorder writes as a number
// ("ID", "ST", "dur", packet counts, ...) gives a JSON number when its value
// is one (an integer of at most 15 digits, which any JSON reader takes
// exactly), else a string; other keys give strings. A value that is not
// UTF-8 is followed by a member KEY@base64 holding its exact bytes.
//
// Stateless.
class RecordExport {
public:
    using Record = std::vector<std::pair<std::string, std::string>>;

    // Every section of FILE, newest first; walks its cursor.
    static std::vector<Record> Records(Configuration::MultiSectionConfigFile& file);
    // Every key a record of the recorder can hold, in record order.
    static std::vector<std::string> RecordKeys();

    // A header of every key seen, in first-seen order, then one row per record.
    static void Csv(const std::vector<Record>& records, std::string* out,
                    bool forSpreadsheet = false);
    // Fixed columns, so that rows can be written as they come. An entry whose
    // key is not among COLUMNS goes, as a "KEY=VALUE" line, into the column
    // named "other" when there is one.
    // CSV is appended to *OUT.
    static void CsvHeader(const std::vector<std::string>& columns, std::string* out,
                          bool forSpreadsheet);
    static void CsvRow(const std::vector<std::string>& columns, const Record& record,
                       std::string* out, bool forSpreadsheet);
    // One value as a cell.
    static void CsvCell(std::string_view value, bool forSpreadsheet, std::string* out);

    static void JsonLine(const Record& record, std::ostream& out);
};
