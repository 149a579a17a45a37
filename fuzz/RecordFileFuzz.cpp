// libFuzzer target for the record file reader and the entry escaping.
//
// Any input reads (leniently, with notes); what it reads must write back to
// text that reads without a note to the same text again. Keys and values cut
// from the input must survive escaping unchanged, in record files and in
// settings files (with their shell-like reading).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/config/MultiSectionConfigFile.h"
#include "platform/config/RecordFile.h"
#include "platform/config/TextFormat.h"

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

    // Escaping: a key and a value cut from the input (NUL cannot be stored).
    std::string key = input.substr(0, size / 3), value = input.substr(size / 3);
    for (char& c : key) c = c ? c : '0';
    for (char& c : value) c = c ? c : '0';
    RoundTrip(TextFormat("{\n", "}\n", "=", "#"), key, value);
    RoundTrip(TextFormat(nullptr, nullptr, "=", "#"), key, value);
    return 0;
}
