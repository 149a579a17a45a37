#include "tools/TextPieces.h"

#include <cassert>
#include <cstring>

#include "platform/util/DecimalText.h"

void TextPieces::Set(std::string& out, std::string_view text) {
    out.clear();
    out.append(text.data(), text.size());
}

void TextPieces::Append(std::string& out, std::initializer_list<std::string_view> pieces) {
    size_t size = out.size();
    for (const std::string_view piece : pieces) size += piece.size();
    out.reserve(size);
    for (const std::string_view piece : pieces) out.append(piece.data(), piece.size());
}

std::string TextPieces::Join(std::initializer_list<std::string_view> pieces) {
    std::string out;
    Append(out, pieces);
    return out;
}

void TextPieces::Format(std::string& out, const char* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    FormatV(out, nullptr, pattern, args);
    va_end(args);
}

void TextPieces::Assign(std::string& out, const char* pattern, ...) {
    out.clear();
    va_list args;
    va_start(args, pattern);
    FormatV(out, nullptr, pattern, args);
    va_end(args);
}

std::string TextPieces::Formatted(const char* pattern, ...) {
    std::string out;
    va_list args;
    va_start(args, pattern);
    FormatV(out, nullptr, pattern, args);
    va_end(args);
    return out;
}

void TextPieces::FormatV(std::string& out, Escape escape, const char* pattern, va_list args) {
    char digits[DecimalText::kMaxText];
    for (const char* at = pattern; *at;) {
        const char* mark = strchr(at, '%');
        if (!mark) {
            out.append(at);
            break;
        }
        out.append(at, static_cast<size_t>(mark - at));
        const char directive = mark[1];
        at = mark + 2;
        if (directive == 's') {
            out.append(va_arg(args, const char*));
        } else if (directive == 'u') {
            out.append(digits, DecimalText::WriteUnsigned(va_arg(args, unsigned), digits));
        } else if (directive == 'd') {
            out.append(digits, DecimalText::Write(va_arg(args, int), digits));
        } else if (directive == '%') {
            out += '%';
        } else {
            const char* text = va_arg(args, const char*);
            const size_t size = va_arg(args, size_t);
            assert(directive == 't' || escape);  // no other directive
            if (directive == 't')
                out.append(text, size);
            else
                escape(out, directive, text, size);
        }
    }
}
