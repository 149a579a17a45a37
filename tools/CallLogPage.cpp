#include "tools/CallLogPage.h"

#include <sstream>

#include "platform/util/NumberText.h"
#include "tools/CgiRequest.h"
#include "tools/HtmlText.h"
#include "tools/StatusReport.h"

namespace {

const char* const kTitles[3] = {"Stated calls", "Missed calls", "Failed calls"};

// Small screens scroll the table sideways; print leaves out the controls.
const char kStyle[] =
    "body{font:15px/1.4 sans-serif;margin:0 auto;max-width:72em;padding:0 .8em;color:#111}"
    "nav a{margin-right:1em}nav a[aria-current]{font-weight:bold;text-decoration:none}"
    ".wide{overflow-x:auto}table{border-collapse:collapse;width:100%}"
    "th,td{text-align:left;vertical-align:top;padding:.25em .5em;border-bottom:1px solid #ccc}"
    "td.n{text-align:right;white-space:nowrap}.raw{color:#a00;font-family:monospace}"
    ".ok{background:#e6f4e6;padding:.5em}.fail{background:#fbe3e3;padding:.5em}"
    "pre{white-space:pre-wrap;background:#f4f4f4;padding:.5em}"
    "form{border:1px solid #ccc;padding:.5em}button{margin:.3em .3em .3em 0}"
    "@media print{form,nav,.actions{display:none}}";

std::string Escape(std::string_view text) {
    return HtmlText::Escape(text);
}

std::string Value(const CallLogPage::Entries& record, const std::string& key) {
    for (const auto& entry : record)
        if (entry.first == key)
            return entry.second;
    return "";
}

bool Has(const CallLogPage::Entries& record, const std::string& key) {
    for (const auto& entry : record)
        if (entry.first == key)
            return true;
    return false;
}

// The start time as local date and time, or the text as it stands.
std::string Start(const std::string& text) {
    int64_t seconds = 0;
    if (!NumberText::Whole(text.c_str(), INT32_MIN, INT32_MAX, &seconds))
        return Escape(text);
    return StatusReport::LocalTime(seconds);
}

std::string Duration(const std::string& text) {
    int64_t seconds = 0;
    if (!NumberText::Whole(text.c_str(), 0, UINT32_MAX, &seconds))
        return Escape(text);
    char out[32];
    snprintf(out, sizeof out, "%lld:%02d:%02d", static_cast<long long>(seconds / 3600),
             static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    return out;
}

// Codecs, packets and loss of each stream, and the fax transfer.
std::string Media(const CallLogPage::Entries& r) {
    std::string out;
    for (const std::string suffix : {"", "_2"}) {
        if (!Has(r, "tx_pkt" + suffix) && !Has(r, "rx_pkt" + suffix))
            continue;
        out += out.empty() ? "" : "<br>";
        out += Escape(Has(r, "tx_enc" + suffix) ? Value(r, "tx_enc" + suffix) : "-") + "/" +
               Escape(Has(r, "rx_enc" + suffix) ? Value(r, "rx_enc" + suffix) : "-") + ": " +
               Escape(Value(r, "tx_pkt" + suffix)) + " sent, " +
               Escape(Value(r, "rx_pkt" + suffix)) + " received";
        if (Has(r, "rx_lost" + suffix))
            out += ", " + Escape(Value(r, "rx_lost" + suffix)) + " lost";
    }
    if (Has(r, "fax_tx_pkt") || Has(r, "fax_rx_pkt")) {
        out += out.empty() ? "" : "<br>";
        out += "fax: " + Escape(Value(r, "fax_tx_pkt")) + " sent, " +
               Escape(Value(r, "fax_rx_pkt")) + " received";
    }
    return out;
}

std::string Link(int db, const std::string& what) {
    return std::string("?db=") + CallLogPage::DbName(db) + "&amp;" + what;
}

void List(const CallLogPage::View& v, std::string& out) {
    const size_t pages = (v.mTotal + CallLogPage::kPageSize - 1) / CallLogPage::kPageSize;
    out +=
        "<div class=\"wide\"><table><thead><tr><th>ID</th><th>Start</th><th>Duration</th>"
        "<th>Caller</th><th>Called</th><th>Media</th></tr></thead><tbody>\n";
    for (const CallLogPage::Entries& r : v.mRecords) {
        out += "<tr><td class=\"n\"><a href=\"" +
               Link(v.mDb, "id=" + CgiRequest::UrlEncode(Value(r, "ID"))) + "\">" +
               Escape(Value(r, "ID")) + "</a></td><td>" + Start(Value(r, "ST")) +
               "</td><td class=\"n\">" + Duration(Value(r, "dur")) + "</td><td>" +
               Escape(Value(r, "caller")) +
               (Value(r, "clir_caller") == "1" ? " (restricted)" : "") + "</td><td>" +
               Escape(Value(r, "called")) + "</td><td>" + Media(r) + "</td></tr>\n";
    }
    out += "</tbody></table></div>\n<nav class=\"pages\">Page " + std::to_string(v.mPage) + " of " +
           std::to_string(pages);
    if (v.mPage > 1)
        out += " <a rel=\"prev\" href=\"" + Link(v.mDb, "page=" + std::to_string(v.mPage - 1)) +
               "\">Newer</a>";
    if (v.mPage < pages)
        out += " <a rel=\"next\" href=\"" + Link(v.mDb, "page=" + std::to_string(v.mPage + 1)) +
               "\">Older</a>";
    out += "</nav>\n";
}

void Details(const CallLogPage::View& v, std::string& out) {
    if (v.mRecords.empty()) {
        out += "<p class=\"fail\">There is no record with the ID " + Escape(v.mId) +
               " in this database.</p>\n";
    } else {
        out += "<div class=\"wide\"><table class=\"details\"><tbody>\n";
        for (const auto& [key, value] : v.mRecords.front()) {
            out += "<tr><th>" + Escape(key) + "</th><td>" + Escape(value);
            if (key == "ST")
                out += " (" + Start(value) + ")";
            else if (key == "dur")
                out += " (" + Duration(value) + ")";
            out += "</td></tr>\n";
        }
        out += "</tbody></table></div>\n";
    }
    out += "<p><a href=\"" + Link(v.mDb, "page=1") + "\">Back to the list</a></p>\n";
}

void Actions(const CallLogPage::View& v, std::string& out) {
    out += "<section class=\"actions\"><h2>Actions</h2>\n<form method=\"post\" action=\"" +
           Link(v.mDb, "page=" + std::to_string(v.mPage)) +
           "\">\n<input type=\"hidden\" name=\"token\" value=\"" + Escape(v.mToken) +
           "\">\n<p>Databases:";
    for (int db = 0; db < 3; ++db)
        out += std::string(" <label><input type=\"checkbox\" name=\"mask\" value=\"") +
               std::to_string(1 << db) + "\"" + (db == v.mDb ? " checked" : "") + "> " +
               CallLogPage::DbName(db) + "</label>";
    out +=
        "</p>\n<p><button name=\"action\" value=\"flush\">Flush</button> "
        "<button name=\"action\" value=\"download-now\">Download now</button></p>\n"
        "<p><label><input type=\"checkbox\" name=\"confirm\" value=\"yes\"> "
        "Yes, delete every record of the chosen databases</label> "
        "<button name=\"action\" value=\"clear\">Clear</button></p>\n</form></section>\n";
}

void Status(const CallLogPage::View& v, std::string& out) {
    out += "<section class=\"status\"><h2>Recorder status</h2>\n";
    if (v.mHaveStatus) {
        std::ostringstream text;
        StatusReport::Text(v.mStatus, text);
        out += "<pre>" + Escape(text.str()) + "</pre>\n";
    } else {
        out += "<p class=\"fail\">" + Escape(v.mStatusError) + "</p>\n";
    }
    out += "</section>\n";
}

}  // namespace

const char* CallLogPage::DbName(int db) {
    static const char* const kNames[3] = {"stated", "missed", "failed"};
    return kNames[db];
}

std::string CallLogPage::Render(const View& v) {
    std::string out =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>Call "
        "log: ";
    out += kTitles[v.mDb];
    out += "</title>\n<style>";
    out += kStyle;
    out += "</style></head>\n<body>\n<header><h1>Call log</h1><nav>";
    for (int db = 0; db < 3; ++db)
        out += std::string("<a href=\"?db=") + DbName(db) + "\"" +
               (db == v.mDb ? " aria-current=\"page\"" : "") + ">" + kTitles[db] + "</a>";
    out += "</nav></header>\n";
    if (!v.mAnswer.empty())
        out += std::string("<p id=\"answer\" role=\"status\" class=\"") +
               (v.mAnswerOk ? "ok" : "fail") + "\">" + Escape(v.mAnswer) + "</p>\n";
    out += std::string("<main>\n<h2>") + kTitles[v.mDb] + "</h2>\n<p>File " + Escape(v.mPath);
    if (v.mFileError.empty())
        out += ": " + std::to_string(v.mTotal) + (v.mTotal == 1 ? " record" : " records");
    out += "</p>\n";
    if (!v.mFileError.empty())
        out += "<p class=\"fail\">" + Escape(v.mFileError) + "</p>\n";
    else if (!v.mId.empty())
        Details(v, out);
    else if (v.mTotal == 0)
        out += "<p class=\"note\">There are no records in this database.</p>\n";
    else
        List(v, out);
    out += "</main>\n";
    Actions(v, out);
    Status(v, out);
    out += "</body></html>\n";
    return out;
}
