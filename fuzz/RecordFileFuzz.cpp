// libFuzzer target for the record file reader and the entry escaping.
//
// Any input reads (leniently, with notes); what it reads must write back to
// text that reads without a note to the same text again. Keys and values cut
// from the input must survive escaping unchanged, in record files and in
// settings files (with their shell-like reading). The search's quick reading
// of a record's fields must agree with the full decoding of its entries.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/config/MultiSectionConfigFile.h"
#include "platform/config/RecordFile.h"
#include "platform/config/TextFormat.h"
#include "platform/msg/RecordSearch.h"

using Configuration::MultiSectionConfigFile;
using Configuration::TextFormat;

namespace {

void RoundTrip(const TextFormat& format, const std::string& key, const std::string& value) {
    std::string line, k, v;
    format.AppendEntry(&line, key, value);
    line.pop_back();  // the line end
    if (line.find('\n') != std::string::npos || format.Classify(line) != TextFormat::kEntry)
        abort();
    format.DecodeEntry(line, &k, &v);
    if (k != key || v != value)
        abort();
}

// The first value of KEY in ENTRIES, and whether there is one.
bool First(const RecordSearch::Entries& entries, const char* key, std::string* value) {
    for (const auto& entry : entries) {
        if (entry.first == key) {
            *value = entry.second;
            return true;
        }
    }
    return false;
}

void SameFields(std::string_view text) {
    RecordSearch::Fields quick, full;
    RecordSearch::Read(text, &quick);
    const RecordSearch::Entries entries = RecordSearch::Decode(text);
    std::string values[5];
    full.mHasId = First(entries, "ID", &values[0]);
    full.mHasStart = First(entries, "ST", &values[1]);
    full.mHasDuration = First(entries, "dur", &values[2]);
    full.mHasCaller = First(entries, "caller", &values[3]);
    full.mHasCalled = First(entries, "called", &values[4]);
    full.mId = values[0];
    full.mStart = values[1];
    full.mDuration = values[2];
    // Texts as decoded; numbers as read (a number has nothing to escape).
    uint32_t id[2] = {0, 0}, duration[2] = {0, 0};
    int64_t start[2] = {0, 0};
    if (quick.mHasId != full.mHasId || quick.mHasStart != full.mHasStart ||
        quick.mHasDuration != full.mHasDuration || quick.mHasCaller != full.mHasCaller ||
        quick.mHasCalled != full.mHasCalled || (quick.mHasCaller && quick.mCaller != values[3]) ||
        (quick.mHasCalled && quick.mCalled != values[4]) || quick.Id(&id[0]) != full.Id(&id[1]) ||
        id[0] != id[1] || quick.Start(&start[0]) != full.Start(&start[1]) || start[0] != start[1] ||
        quick.Duration(&duration[0]) != full.Duration(&duration[1]) || duration[0] != duration[1])
        abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    Configuration::RecordSections file;
    file.ReadText(input);
    std::string once, twice;
    file.WriteText(&once);
    Configuration::RecordSections again;
    again.ReadText(once);
    again.WriteText(&twice);
    if (once != twice || file.GetSectionCount() != again.GetSectionCount() ||
        !again.Notes().Empty())
        abort();
    for (size_t i = 0; i < static_cast<size_t>(file.GetSectionCount()); ++i)
        SameFields(file.SectionTextAt(i));

    // Escaping: a key and a value cut from the input (NUL cannot be stored).
    std::string key = input.substr(0, size / 3), value = input.substr(size / 3);
    for (char& c : key) c = c ? c : '0';
    for (char& c : value) c = c ? c : '0';
    RoundTrip(TextFormat("{\n", "}\n", "=", "#"), key, value);
    RoundTrip(TextFormat(nullptr, nullptr, "=", "#"), key, value);
    return 0;
}
