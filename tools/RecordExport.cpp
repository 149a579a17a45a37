#include "tools/RecordExport.h"

#include <map>
#include <string_view>
#include <utility>
#include <vector>

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

void CsvCell(const std::string& value, std::ostream& out) {
    std::string cell = value;
    if (!cell.empty() && std::string("=+-@\t\r").find(cell[0]) != std::string::npos)
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

// Length of the valid UTF-8 sequence at P, or 0.
size_t Utf8Length(const unsigned char* p, size_t left) {
    size_t n = p[0] < 0x80         ? 1
               : (p[0] >> 5) == 6  ? 2
               : (p[0] >> 4) == 14 ? 3
               : (p[0] >> 3) == 30 ? 4
                                   : 0;
    if (n == 0 || n > left)
        return 0;
    for (size_t i = 1; i < n; ++i)
        if ((p[i] & 0xC0) != 0x80)
            return 0;
    return n;
}

void JsonString(const std::string& s, std::ostream& out) {
    static const char kHex[] = "0123456789abcdef";
    out << '"';
    const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data());
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = p[i];
        size_t n = Utf8Length(p + i, s.size() - i);
        if (c == '"' || c == '\\') {
            out << '\\' << c;
        } else if (c == '\n') {
            out << "\\n";
        } else if (c == '\r') {
            out << "\\r";
        } else if (c == '\t') {
            out << "\\t";
        } else if (c < 0x20 || n == 0) {
            out << "\\u00" << kHex[c >> 4] << kHex[c & 15];
        } else {
            out.write(s.data() + i, static_cast<std::streamsize>(n));
            i += n;
            continue;
        }
        ++i;
    }
    out << '"';
}

}  // namespace

void RecordExport::Csv(Configuration::MultiSectionConfigFile& file, std::ostream& out) {
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
        CsvCell(keys[i], out);
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
                CsvCell(*cells[i], out);
        }
        out << "\r\n";
    }
}

void RecordExport::JsonLines(Configuration::MultiSectionConfigFile& file, std::ostream& out) {
    for (const Record& r : Records(file)) {
        out << '{';
        for (size_t i = 0; i < r.size(); ++i) {
            if (i)
                out << ',';
            JsonString(r[i].first, out);
            out << ':';
            JsonString(r[i].second, out);
        }
        out << "}\n";
    }
}
