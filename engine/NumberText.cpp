#include "NumberText.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <system_error>

namespace engine {

namespace {

const char* skipBlanks(const char* p)
{
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v')
        ++p;
    return p;
}

// from_chars leaves the value alone when it does not fit; "%f" gives
// infinity for overflow and zero for underflow.
float outOfRangeValue(const char* begin, const char* end)
{
    const char* exponent = nullptr;
    for (const char* p = begin; p < end; ++p)
        if (*p == 'e' || *p == 'E')
            exponent = p;
    const bool tiny = exponent && exponent + 1 < end && exponent[1] == '-';
    return tiny ? 0.0f : HUGE_VALF;
}

// Where a number that starts at p can end at the latest; scanning only this
// far keeps long value lists linear.
const char* numberEnd(const char* p)
{
    while (std::isalnum(static_cast<unsigned char>(*p)) || *p == '.' || *p == '+' || *p == '-')
        ++p;
    return p;
}

} // namespace

const char* NumberText::parseFloat(const char* text, float* value)
{
    if (!text)
        return nullptr;
    const char* p = skipBlanks(text);
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    // from_chars takes no sign of its own beyond "-" and no "+" at all; the
    // sign is applied here so "-nan" and "+1" read as the C library reads them.
    const char* end = numberEnd(p);
    float result = 0.0f;
    const std::from_chars_result r = std::from_chars(p, end, result, std::chars_format::general);
    if (r.ptr == p || *p == '-')
        return nullptr;
    if (r.ec == std::errc::result_out_of_range)
        result = outOfRangeValue(p, r.ptr);
    if (value)
        *value = negative ? -result : result;
    return r.ptr;
}

} // namespace engine
