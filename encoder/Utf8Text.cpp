#include "Utf8Text.h"

size_t Utf8Text::sequenceLength(const std::string& text, size_t i)
{
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    if (length == 0 || i + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

std::string Utf8Text::replaceUnsafe(const std::string& text, bool (*keepAscii)(unsigned char))
{
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t length = c >= 0x80 ? sequenceLength(text, i) : (keepAscii(c) ? 1 : 0);
        if (length == 0) {
            out += '_';
            ++i;
        } else {
            out.append(text, i, length);
            i += length;
        }
    }
    return out;
}

std::string Utf8Text::truncated(std::string text, size_t maxBytes)
{
    if (text.size() > maxBytes) {
        size_t cut = maxBytes;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut;
        text.resize(cut);
    }
    return text;
}

std::string Utf8Text::propertiesId(const std::string& name, const std::string& fallback)
{
    const auto keep = [](unsigned char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-'
            || c == '.';
    };
    const std::string id = truncated(replaceUnsafe(name, keep), 96);
    return id.empty() ? fallback : id;
}
