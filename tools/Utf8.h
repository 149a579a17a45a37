#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Well-formed UTF-8, as Unicode's table 3-7 has it: no overlong forms, no
// surrogates, nothing above U+10FFFF. The one reading of it that the JSON
// export and the page share. Stateless.
class Utf8 {
public:
    // Length of the well-formed sequence at the front of TEXT (not empty),
    // with its code point in *CODE_POINT; 0 when the first byte begins none.
    static size_t Sequence(std::string_view text, uint32_t* codePoint);
};
