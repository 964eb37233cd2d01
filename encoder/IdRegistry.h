#pragma once

#include <string>
#include <unordered_set>

// Hands out ids that are unique within one namespace. A name that was already
// taken gets "__2", "__3", ... appended: the scene tree shows such ids without
// the suffix, so users still read the name they gave. Invalid UTF-8 bytes in a
// source name are replaced, because the application decodes ids as UTF-8.
class IdRegistry {
public:
    std::string claim(const std::string& wanted, const std::string& fallback);

    static std::string validUtf8(const std::string& text);

private:
    std::unordered_set<std::string> m_taken;
};
