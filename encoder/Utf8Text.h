#pragma once

#include <cstddef>
#include <string>

// Material ids and texture file names keep the UTF-8 characters of a source
// name but only the ASCII characters their grammar allows; both are capped
// in length without cutting a character in two.
class Utf8Text {
public:
    // `text` with every byte of an invalid UTF-8 sequence, and every ASCII
    // character `keepAscii` refuses, replaced by '_'.
    static std::string replaceUnsafe(const std::string& text, bool (*keepAscii)(unsigned char));

    // An id that the properties grammar reads as one word and a URL path as one name: letters,
    // digits, "_", "-", "." and UTF-8 characters kept, anything else '_', at most 96 bytes;
    // `fallback` when nothing is left.
    static std::string propertiesId(const std::string& name, const std::string& fallback);

    // `text` cut to at most `maxBytes`, at the start of a character.
    static std::string truncated(std::string text, size_t maxBytes);

private:
    // Length of the valid two- to four-byte sequence starting at text[i], or 0.
    static size_t sequenceLength(const std::string& text, size_t i);
};
