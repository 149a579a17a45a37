#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// Text made of pieces in one out-of-line call. cdrweb builds its page and
// messages this way: a chain of std::string additions costs a temporary
// and inlined code per piece, which on the device is most of the program.
class TextPieces {
public:
    static void Append(std::string& out, std::initializer_list<std::string_view> pieces);
    static std::string Join(std::initializer_list<std::string_view> pieces);
    // VALUE as unsigned decimal text.
    static std::string Number(unsigned long long value);
};
