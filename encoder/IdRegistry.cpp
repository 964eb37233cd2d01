#include "IdRegistry.h"

std::string IdRegistry::claim(const std::string& wanted, const std::string& fallback)
{
    std::string base = validUtf8(wanted);
    if (base.empty())
        base = fallback;
    if (m_taken.insert(base).second)
        return base;
    for (unsigned n = 2;; ++n) {
        std::string candidate = base + "__" + std::to_string(n);
        if (m_taken.insert(candidate).second)
            return candidate;
    }
}

std::string IdRegistry::validUtf8(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    const size_t size = text.size();
    size_t i = 0;
    while (i < size) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        size_t length = 0;
        unsigned codePoint = 0;
        if (c < 0x80) {
            length = 1;
            codePoint = c;
        } else if ((c & 0xE0) == 0xC0) {
            length = 2;
            codePoint = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3;
            codePoint = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4;
            codePoint = c & 0x07;
        }
        bool valid = length > 0 && i + length <= size;
        for (size_t k = 1; valid && k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8 either.
        static const unsigned kMinimum[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (valid
            && (codePoint < kMinimum[length] || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)))
            valid = false;
        if (valid && c == 0)
            valid = false; // an embedded NUL would cut the id short in C strings
        if (valid) {
            out.append(text, i, length);
            i += length;
        } else {
            out += '_';
            ++i;
        }
    }
    return out;
}
