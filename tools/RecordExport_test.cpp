#include "tools/RecordExport.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/config/RecordFile.h"

namespace {

std::vector<RecordExport::Record> Sample() {
    Configuration::RecordSections f;
    f.AddSection(true);
    f.AddSectionEntry("ID", "0");
    f.AddSectionEntry("caller", "=HYPERLINK(\"x\")");
    f.AddSectionEntry("ST", "-5");
    f.AddSection(true);  // newest first, with a key the older one lacks
    f.AddSectionEntry("ID", "1");
    f.AddSectionEntry("caller", "Smith, \"Al\"\nline 2");
    f.AddSectionEntry("GUID", "\xff\x01\xc3\xa9");
    return RecordExport::Records(f);
}

}  // namespace

TEST(RecordExport, CsvQuotesAsRfc4180AndGuardsFormulasOnlyWhenAsked) {
    std::string exact, guarded;
    RecordExport::Csv(Sample(), &exact);
    EXPECT_EQ(
        "ID,caller,GUID,ST\r\n"
        "1,\"Smith, \"\"Al\"\"\nline 2\",\xff\x01\xc3\xa9,\r\n"
        "0,\"=HYPERLINK(\"\"x\"\")\",,-5\r\n",
        exact);
    RecordExport::Csv(Sample(), &guarded, true);
    EXPECT_NE(std::string::npos, guarded.find("0,\"'=HYPERLINK(\"\"x\"\")\",,'-5\r\n"));
}

// Rows written as they come: fixed columns, and what has none goes to "other".
TEST(RecordExport, CsvRowsInFixedColumnsKeepUnknownKeys) {
    std::string out;
    const std::vector<std::string> columns = {"kind", "ID", "caller", "other"};
    RecordExport::CsvRow(columns, {{"kind", "stated"}, {"ID", "7"}, {"x", "1"}, {"y", "a,b"}}, &out,
                         false);
    EXPECT_EQ("stated,7,,\"x=1\ny=a,b\"\r\n", out);
}

// Strict readers take every line, bytes that are not UTF-8 (overlong,
// surrogate, beyond U+10FFFF, stray) are never confused with text, and a
// numeric key's value is a number only when it is one.
TEST(RecordExport, JsonLinesAreStrictUtf8WithNumbersAndKeepTheExactBytes) {
    std::ostringstream out;
    for (const RecordExport::Record& r : Sample()) RecordExport::JsonLine(r, out);
    RecordExport::JsonLine({{"text", "\xc3\xbf\xc3\xbe"},
                            {"bytes", "\xff\xfe"},
                            {"bad", "\xc0\xaf\xed\xa0\x80\xf7\x7f"}},
                           out);
    RecordExport::JsonLine({{"dur", "4294967295"},
                            {"rx_delay_incr", "N/A"},
                            {"tx_pkt", "007"},
                            {"ST", "-0"},
                            {"tx_enc", "8"},
                            {"rx_jtr", "1234567890123456"}},
                           out);
    EXPECT_EQ(
        "{\"ID\":1,\"caller\":\"Smith, \\\"Al\\\"\\nline "
        "2\",\"GUID\":\"\\ufffd\\u0001\xc3\xa9\","
        "\"GUID@base64\":\"/wHDqQ==\"}\n"
        "{\"ID\":0,\"caller\":\"=HYPERLINK(\\\"x\\\")\",\"ST\":-5}\n"
        "{\"text\":\"\xc3\xbf\xc3\xbe\",\"bytes\":\"\\ufffd\\ufffd\",\"bytes@base64\":\"//4=\","
        "\"bad\":\"\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\\u007f\",\"bad@base64\":\"wK/"
        "toID3fw==\"}\n"
        "{\"dur\":4294967295,\"rx_delay_incr\":\"N/A\",\"tx_pkt\":\"007\",\"ST\":\"-0\","
        "\"tx_enc\":\"8\",\"rx_jtr\":\"1234567890123456\"}\n",
        out.str());
}
