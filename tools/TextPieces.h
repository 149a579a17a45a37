#pragma once

#include <cstdarg>
#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

// Text made of pieces in one out-of-line call. cdrweb builds its page and
// messages this way: a chain of std::string additions costs a temporary
// and inlined code per piece, which on the device is most of the program.
// For the same reason cdrweb's code never assigns a std::string from
// characters or from another string (=, assign): that links the library's
// general replace and copy, 588 bytes of the page's build, where setting
// a whole string needs neither. Set and Assign clear and append.
class TextPieces {
public:
    // TEXT in place of what OUT held.
    static void Set(std::string& out, std::string_view text);
    static void Append(std::string& out, std::initializer_list<std::string_view> pieces);
    static std::string Join(std::initializer_list<std::string_view> pieces);

    // Appends PATTERN to OUT with each directive replaced by the next
    // arguments:
    //   %s  const char*, as it is
    //   %t  const char*, size_t: that many bytes, as they are
    //   %u  unsigned, in decimal
    //   %d  int, in decimal
    //   %%  a percent sign
    // Only literal patterns, whose directives the caller's tests run: the
    // arguments cannot be checked against them.
    static void Format(std::string& out, const char* pattern, ...);
    // The same in place of what OUT held.
    static void Assign(std::string& out, const char* pattern, ...);
    // The same into a string of its own.
    static std::string Formatted(const char* pattern, ...);
    // The same with ARGS, and other directives given to ESCAPE with their
    // two arguments, a const char* and a size_t (see HtmlText).
    using Escape = void (*)(std::string& out, char directive, const char* text, size_t size);
    static void FormatV(std::string& out, Escape escape, const char* pattern, va_list args);
};
