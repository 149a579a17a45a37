#include "tools/RecordExport.h"
#include "platform/config/RecordFile.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

void Fill(Configuration::MultiSectionConfigFile& f) {
    f.AddSection(true);
    f.AddSectionEntry("ID", "0");
    f.AddSectionEntry("caller", "=HYPERLINK(\"x\")");
    f.AddSectionEntry("ST", "-5");
    f.AddSection(true);  // newest first, with a key the older one lacks
    f.AddSectionEntry("ID", "1");
    f.AddSectionEntry("caller", "Smith, \"Al\"\nline 2");
    f.AddSectionEntry("GUID", "\xff\x01\xc3\xa9");
}

}  // namespace

TEST(RecordExport, CsvQuotesAsRfc4180AndDisarmsFormulasForSpreadsheetsOnly) {
    Configuration::RecordSections f;
    Fill(f);
    std::ostringstream out, raw;
    RecordExport::Csv(f, out);
    EXPECT_EQ(
        "ID,caller,GUID,ST\r\n"
        "1,\"Smith, \"\"Al\"\"\nline 2\",\xff\x01\xc3\xa9,\r\n"
        "0,\"'=HYPERLINK(\"\"x\"\")\",,'-5\r\n",
        out.str());
    RecordExport::Csv(f, raw, false);
    EXPECT_NE(std::string::npos, raw.str().find("0,\"=HYPERLINK(\"\"x\"\")\",,-5\r\n"));
}

// Strict readers take every line, and bytes that are not UTF-8 (overlong,
// surrogate, beyond U+10FFFF, stray) are never confused with text.
TEST(RecordExport, JsonLinesAreStrictUtf8AndKeepTheExactBytes) {
    Configuration::RecordSections f;
    Fill(f);
    f.AddSection(false);
    f.AddSectionEntry("text", "\xc3\xbf\xc3\xbe");  // the text "ÿþ"
    f.AddSectionEntry("bytes", "\xff\xfe");
    f.AddSectionEntry("bad", "\xc0\xaf\xed\xa0\x80\xf7\x7f");
    std::ostringstream out;
    RecordExport::JsonLines(f, out);
    EXPECT_EQ(
        "{\"ID\":\"1\",\"caller\":\"Smith, \\\"Al\\\"\\nline "
        "2\",\"GUID\":\"\\ufffd\\u0001\xc3\xa9\","
        "\"GUID@base64\":\"/wHDqQ==\"}\n"
        "{\"ID\":\"0\",\"caller\":\"=HYPERLINK(\\\"x\\\")\",\"ST\":\"-5\"}\n"
        "{\"text\":\"\xc3\xbf\xc3\xbe\",\"bytes\":\"\\ufffd\\ufffd\",\"bytes@base64\":\"//4=\","
        "\"bad\":\"\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\\u007f\",\"bad@base64\":\"wK/"
        "toID3fw==\"}\n",
        out.str());
}
