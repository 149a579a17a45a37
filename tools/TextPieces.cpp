#include "tools/TextPieces.h"

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

std::string TextPieces::Number(unsigned long long value) {
    char text[24];
    char* p = text + sizeof text;
    do {
        *--p = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value);
    return std::string(p, text + sizeof text);
}
