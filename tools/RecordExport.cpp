#include "tools/RecordExport.h"

#include <cstring>
#include <map>

#include "tools/JsonText.h"
#include "tools/StatisticsKeys.h"

namespace {

// Key I of a record into OUT, which holds StatisticsKeys::kMaxKey bytes;
// false past the last.
bool Key(size_t i, char* out) {
    static const char* const kCallKeys[] = {"ID",   "ST",  "dur", "called",  "caller",
                                            "GUID", "OCD", "cr",  "auth_un", "clir_caller"};
    const size_t callKeys = sizeof kCallKeys / sizeof kCallKeys[0];
    if (i >= callKeys)
        return StatisticsKeys::Key(i - callKeys, out);
    strcpy(out, kCallKeys[i]);
    return true;
}

}  // namespace

void RecordExport::CsvCell(std::string_view value, bool forSpreadsheet, std::string* out) {
    const bool guard = forSpreadsheet && !value.empty() &&
                       std::string_view("=+-@\t\r").find(value[0]) != std::string_view::npos;
    if (value.find_first_of(",\"\r\n") == std::string_view::npos) {
        out->append(guard ? "'" : "").append(value);
        return;
    }
    out->append(guard ? "\"'" : "\"");
    for (const char c : value) {
        if (c == '"')
            out->push_back('"');
        out->push_back(c);
    }
    out->push_back('"');
}

namespace {

// An integer as the recorder writes numbers, that a JSON reader takes exactly.
bool IsJsonInteger(const std::string& value) {
    if (value.empty())
        return false;
    const size_t digits = value.size() - (value[0] == '-' ? 1 : 0);
    if (digits == 0 || digits > 15)
        return false;
    const size_t first = value.size() - digits;
    if (value[first] == '0' && digits > 1)
        return false;
    for (size_t i = first; i < value.size(); ++i)
        if (value[i] < '0' || value[i] > '9')
            return false;
    return value != "-0";
}

bool IsNumberKey(const std::string& key) {
    return key == "ID" || key == "ST" || key == "dur" || key == "clir_caller" || key == "type" ||
           StatisticsKeys::IsNumber(key);
}

}  // namespace

std::vector<RecordExport::Record> RecordExport::Records(
    Configuration::MultiSectionConfigFile& file) {
    std::vector<Record> records;
    file.Restart();
    while (file.GotoNextSection()) {
        records.emplace_back();
        file.ForEachSectionEntry([&](std::string_view k, std::string_view v) {
            records.back().emplace_back(std::string(k), std::string(v));
        });
    }
    return records;
}

std::vector<std::string> RecordExport::RecordKeys() {
    std::vector<std::string> keys;
    char key[StatisticsKeys::kMaxKey];
    for (size_t i = 0; Key(i, key); ++i) keys.push_back(key);
    return keys;
}

void RecordExport::Csv(const std::vector<Record>& records, std::string* out, bool forSpreadsheet) {
    std::vector<std::string> keys;
    std::map<std::string, size_t> seen;
    for (const Record& r : records)
        for (const auto& e : r)
            if (seen.emplace(e.first, keys.size()).second)
                keys.push_back(e.first);
    CsvHeader(keys, out, forSpreadsheet);
    for (const Record& r : records) CsvRow(keys, r, out, forSpreadsheet);
}

void RecordExport::CsvHeader(const std::vector<std::string>& columns, std::string* out,
                             bool forSpreadsheet) {
    for (size_t i = 0; i < columns.size(); ++i) {
        if (i)
            out->push_back(',');
        CsvCell(columns[i], forSpreadsheet, out);
    }
    out->append("\r\n");
}

void RecordExport::CsvRow(const std::vector<std::string>& columns, const Record& record,
                          std::string* out, bool forSpreadsheet) {
    const size_t count = columns.size();
    std::vector<const std::string*> cells(count);
    size_t otherColumn = count;
    for (size_t i = 0; i < count; ++i)
        if (columns[i] == "other")
            otherColumn = i;
    std::string other;
    for (const auto& [key, value] : record) {
        size_t i = 0;
        while (i < count && (columns[i] != key || i == otherColumn)) ++i;
        if (i < count) {
            if (!cells[i])  // a key twice in a record: its first value, as lookups read it
                cells[i] = &value;
        } else if (otherColumn < count) {
            other.append(other.empty() ? "" : "\n").append(key).append("=").append(value);
        }
    }
    if (otherColumn < count && !other.empty())
        cells[otherColumn] = &other;
    for (size_t i = 0; i < count; ++i) {
        if (i)
            out->push_back(',');
        if (cells[i])
            CsvCell(*cells[i], forSpreadsheet, out);
    }
    out->append("\r\n");
}

void RecordExport::JsonLine(const Record& record, std::ostream& out) {
    out << '{';
    for (size_t i = 0; i < record.size(); ++i) {
        const auto& [key, value] = record[i];
        if (i)
            out << ',';
        JsonText::String(key, out);
        out << ':';
        if (IsNumberKey(key) && IsJsonInteger(value)) {
            out << value;
            continue;
        }
        JsonText::String(value, out);
        if (!JsonText::IsUtf8(value)) {
            // Its exact bytes, for a consumer that needs them back.
            out << ',';
            JsonText::String(key + "@base64", out);
            out << ":\"" << JsonText::Base64(value) << '"';
        }
    }
    out << "}\n";
}
