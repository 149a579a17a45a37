#include "tools/RecordExport.h"

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

TEST(RecordExport, CsvQuotesAsRfc4180AndDisarmsFormulas) {
    Configuration::MultiSectionConfigFile f("{\n", "}\n", "=", "#");
    Fill(f);
    std::ostringstream out;
    RecordExport::Csv(f, out);
    EXPECT_EQ(
        "ID,caller,GUID,ST\r\n"
        "1,\"Smith, \"\"Al\"\"\nline 2\",\xff\x01\xc3\xa9,\r\n"
        "0,\"'=HYPERLINK(\"\"x\"\")\",,'-5\r\n",
        out.str());
}

TEST(RecordExport, JsonLinesAreValidWhateverTheBytes) {
    Configuration::MultiSectionConfigFile f("{\n", "}\n", "=", "#");
    Fill(f);
    std::ostringstream out;
    RecordExport::JsonLines(f, out);
    EXPECT_EQ(
        "{\"ID\":\"1\",\"caller\":\"Smith, \\\"Al\\\"\\nline "
        "2\",\"GUID\":\"\\u00ff\\u0001\xc3\xa9\"}\n"
        "{\"ID\":\"0\",\"caller\":\"=HYPERLINK(\\\"x\\\")\",\"ST\":\"-5\"}\n",
        out.str());
}
