#include "platform/config/TextFormat.h"

#include <gtest/gtest.h>

#include <stdexcept>

using Configuration::TextFormat;

namespace {

std::string Entry(const TextFormat& f, std::string_view key, std::string_view value) {
    std::string out;
    f.AppendEntry(&out, key, value);
    return out;
}

}  // namespace

TEST(TextFormat, OnlyMeaningChangingBytesAreEscaped) {
    TextFormat f("{\n", "}\n", "=", "#");
    EXPECT_EQ("caller=Alice Smith <sip:1@x>\n", Entry(f, "caller", "Alice Smith <sip:1@x>"));
    EXPECT_EQ("k=a=b{}#\n", Entry(f, "k", "a=b{}#"));  // only the first separator splits
    EXPECT_EQ("k=a\\\\b\\nc\\rd\n", Entry(f, "k", "a\\b\nc\rd"));
    EXPECT_EQ("a\\x3Db=v\n", Entry(f, "a=b", "v"));
    EXPECT_EQ("\\x23k=v\n", Entry(f, "#k", "v"));
    EXPECT_EQ("k=\\x20v\\x20\n", Entry(f, "k", " v "));
    EXPECT_EQ("\\x09k=\\x09\n", Entry(f, "\tk", "\t"));
    EXPECT_EQ("={\n", Entry(f, "", "{"));
    EXPECT_EQ("k=\xff\xfe\n", Entry(f, "k", "\xff\xfe"));  // not UTF-8, still one line
}

// Reading never refuses an entry: what people, scripts and shells write
// reads as they meant it, in record files and in settings files.
TEST(TextFormat, DecodesEntriesLeniently) {
    TextFormat records("{\n", "}\n", "=", "#");
    TextFormat settings(nullptr, nullptr, "=", "#");
    struct Case {
        const char* line;
        const char* key;
        const char* recordValue;
        const char* settingValue;
    };
    const Case cases[] = {
        {"  KEY = some value\t", "KEY", "some value", "some value"},
        {"a\\x3db=\\x20\\\\\\n", "a=b", " \\\n", " \\\n"},
        // A backslash that starts no escape is a byte like any other.
        {"caller=DOMAIN\\alice", "caller", "DOMAIN\\alice", "DOMAIN\\alice"},
        {"k=C:\\temp\\", "k", "C:\\temp\\", "C:\\temp\\"},
        {"k=\\x4 \\xZZ \\x00 \\q", "k", "\\x4 \\xZZ \\x00 \\q", "\\x4 \\xZZ \\x00 \\q"},
        // A shell's comment and quotes count in settings only.
        {"CDR_ENABLE=1 # on", "CDR_ENABLE", "1 # on", "1"},
        {"k=a#b", "k", "a#b", "a#b"},
        {"k= # nothing", "k", "# nothing", ""},
        {"k=\"a b\"  # quoted", "k", "\"a b\"  # quoted", "a b"},
        {"k='x \\n # y'", "k", "'x \n # y'", "x \\n # y"},
        {"k=\"say \\\"hi\\\"\\n\"", "k", "\"say \\\"hi\\\"\n\"", "say \"hi\"\n"},
        {"k=\"open", "k", "\"open", "\"open"},
        {"k='a'b'", "k", "'a'b'", "'a'b'"},
    };
    for (const Case& c : cases) {
        std::string key, value;
        records.DecodeEntry(c.line, &key, &value);
        EXPECT_EQ(c.key, key) << c.line;
        EXPECT_EQ(c.recordValue, value) << c.line;
        settings.DecodeEntry(c.line, &key, &value);
        EXPECT_EQ(c.settingValue, value) << c.line;
    }
    EXPECT_EQ("sed 's/\\./,/g' %f # x", settings.RawValue("cmd = sed 's/\\./,/g' %f # x \t"));
}

TEST(TextFormat, RefusesDelimitersThatCannotBeToldApart) {
    EXPECT_THROW(TextFormat("{\n", "}\n", "", "#"), std::invalid_argument);
    EXPECT_THROW(TextFormat("{\n", "}\n", "=", "\\"), std::invalid_argument);
    EXPECT_THROW(TextFormat("{=\n", "}\n", "=", "#"), std::invalid_argument);
    EXPECT_THROW(TextFormat("{\n", "{\n", "=", "#"), std::invalid_argument);
    EXPECT_THROW(TextFormat("{\n\n", "}\n", "=", "#"), std::invalid_argument);
    EXPECT_THROW(TextFormat("{\n", "}\n", "x", "#"), std::invalid_argument);
    EXPECT_NO_THROW(TextFormat("[", "]", ":", ";"));
}
