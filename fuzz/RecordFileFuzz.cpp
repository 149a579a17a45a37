// libFuzzer target for the record file parser and the entry escaping.
//
// Any input either parses or is refused with FileError; what parses must
// write back to text that parses to the same text again. Keys and values
// cut from the input must survive escaping unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/config/FileError.h"
#include "platform/config/MultiSectionConfigFile.h"
#include "platform/config/TextFormat.h"

using Configuration::FileError;
using Configuration::MultiSectionConfigFile;
using Configuration::TextFormat;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    MultiSectionConfigFile file("{\n", "}\n", "=", "#");
    try {
        file.ReadText(input, "fuzz");
        std::string once, twice;
        file.WriteText(&once);
        MultiSectionConfigFile again("{\n", "}\n", "=", "#");
        again.ReadText(once, "fuzz-again");
        again.WriteText(&twice);
        if (once != twice || file.GetSectionCount() != again.GetSectionCount())
            abort();
    } catch (const FileError&) {
        // damaged input is refused: the expected outcome for most inputs
    }

    // Escaping: a key and a value cut from the input (NUL cannot be stored).
    std::string key = input.substr(0, size / 3), value = input.substr(size / 3);
    for (char& c : key) c = c ? c : '0';
    for (char& c : value) c = c ? c : '0';
    TextFormat format("{\n", "}\n", "=", "#");
    std::string line, k, v;
    format.AppendEntry(&line, key, value);
    line.pop_back();  // the line end
    if (line.find('\n') != std::string::npos)
        abort();
    if (format.Classify(line) != TextFormat::kEntry || format.DecodeEntry(line, &k, &v) ||
        k != key || v != value)
        abort();
    return 0;
}
