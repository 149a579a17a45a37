#include "tools/RecordExport.h"

#include <map>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/JsonText.h"

namespace {

using Record = std::vector<std::pair<std::string, std::string>>;

std::vector<Record> Records(Configuration::MultiSectionConfigFile& file) {
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

void CsvCell(const std::string& value, bool forSpreadsheet, std::ostream& out) {
    std::string cell = value;
    if (forSpreadsheet && !cell.empty() &&
        std::string("=+-@\t\r").find(cell[0]) != std::string::npos)
        cell.insert(0, "'");
    if (cell.find_first_of(",\"\r\n") == std::string::npos) {
        out << cell;
        return;
    }
    out << '"';
    for (char c : cell) {
        if (c == '"')
            out << '"';
        out << c;
    }
    out << '"';
}

}  // namespace

void RecordExport::Csv(Configuration::MultiSectionConfigFile& file, std::ostream& out,
                       bool forSpreadsheet) {
    const std::vector<Record> records = Records(file);
    std::vector<std::string> keys;
    std::map<std::string, size_t> column;
    for (const Record& r : records)
        for (const auto& e : r)
            if (column.emplace(e.first, keys.size()).second)
                keys.push_back(e.first);
    for (size_t i = 0; i < keys.size(); ++i) {
        if (i)
            out << ',';
        CsvCell(keys[i], forSpreadsheet, out);
    }
    out << "\r\n";
    for (const Record& r : records) {
        std::vector<const std::string*> cells(keys.size(), nullptr);
        for (const auto& e : r)
            if (!cells[column[e.first]])
                cells[column[e.first]] = &e.second;
        for (size_t i = 0; i < cells.size(); ++i) {
            if (i)
                out << ',';
            if (cells[i])
                CsvCell(*cells[i], forSpreadsheet, out);
        }
        out << "\r\n";
    }
}

void RecordExport::JsonLines(Configuration::MultiSectionConfigFile& file, std::ostream& out) {
    for (const Record& r : Records(file)) {
        out << '{';
        for (size_t i = 0; i < r.size(); ++i) {
            const auto& [key, value] = r[i];
            if (i)
                out << ',';
            JsonText::String(key, out);
            out << ':';
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
}
