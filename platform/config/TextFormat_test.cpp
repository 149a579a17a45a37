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

TEST(TextFormat, PlainTextIsWrittenAsItIsAndOnlyMeaningChangingBytesAreEscaped) {
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

TEST(TextFormat, ClassifiesLines) {
    TextFormat f("{\n", "}\n", "=", "#");
    EXPECT_EQ(TextFormat::kBlank, f.Classify(" \t"));
    EXPECT_EQ(TextFormat::kSectionBegin, f.Classify("  {"));
    EXPECT_EQ(TextFormat::kSectionEnd, f.Classify("}\t"));
    EXPECT_EQ(TextFormat::kComment, f.Classify("  # a=b"));
    EXPECT_EQ(TextFormat::kEntry, f.Classify("{=}"));
    EXPECT_EQ(TextFormat::kInvalid, f.Classify("just words"));
    EXPECT_EQ(TextFormat::kInvalid, f.Classify("{ {"));

    TextFormat flat(nullptr, nullptr, "=", "#");
    EXPECT_EQ(TextFormat::kInvalid, flat.Classify("{"));
}

TEST(TextFormat, DecodesEntriesAndRejectsBadEscapes) {
    TextFormat f("{\n", "}\n", "=", "#");
    std::string key, value;
    ASSERT_EQ(nullptr, f.DecodeEntry("  KEY = some value\t", &key, &value));
    EXPECT_EQ("KEY", key);
    EXPECT_EQ("some value", value);
    ASSERT_EQ(nullptr, f.DecodeEntry("a\\x3db=\\x20\\t\\\\\\n", &key, &value));
    EXPECT_EQ("a=b", key);
    EXPECT_EQ(" \t\\\n", value);

    for (const char* bad : {"k=\\", "k=\\q", "k=\\x4", "k=\\xZZ", "k=\\x00", "\\=v"})
        EXPECT_NE(nullptr, f.DecodeEntry(bad, &key, &value)) << bad;
}

TEST(TextFormat, SplitsLinesDroppingCarriageReturnBeforeLineEnd) {
    std::string_view text = "a\r\nb\n\nc\rd\nlast";
    std::vector<std::string> lines;
    size_t pos = 0;
    std::string_view line;
    while (TextFormat::NextLine(text, &pos, &line)) lines.emplace_back(line);
    EXPECT_EQ((std::vector<std::string>{"a", "b", "", "c\rd", "last"}), lines);
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
