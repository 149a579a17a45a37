#include "tools/TextPieces.h"

#include "platform/util/DecimalText.h"

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
    char text[DecimalText::kMaxText];
    return std::string(text, DecimalText::WriteUnsigned(value, text));
}
