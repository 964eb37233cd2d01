#include "FbxAsciiReader.h"

#include "FbxTreeReader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

const char kByteOrderMark[] = "\xEF\xBB\xBF";

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

// A NUL byte is part of a word: strchr() would find it in any set.
bool endsBareWord(char c) { return isSpace(c) || (c != '\0' && std::strchr(",{}\";", c) != nullptr); }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Whole numbers without sign, fraction or exponent; false when `word` is not one or does not fit.
bool parseWhole(const std::string& word, int64_t& value)
{
    const char* begin = word.data() + (word[0] == '+' ? 1 : 0);
    const char* end = word.data() + word.size();
    const auto result = std::from_chars(begin, end, value);
    return result.ec == std::errc() && result.ptr == end;
}

// Windows runtimes print infinities and NaNs as "1.#INF", "-1.#IND", "1.#QNAN", which old exporters
// wrote as they came.
bool parseWindowsSpecial(const std::string& word, double& value)
{
    const size_t hash = word.find('#');
    if (hash == std::string::npos || hash == 0)
        return false;
    const bool negative = word[0] == '-';
    if (word.compare(hash, 4, "#INF") == 0) {
        value = negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
        return true;
    }
    if (word.compare(hash, 4, "#IND") == 0 || word.compare(hash, 4, "#NAN") == 0 || word.compare(hash, 5, "#QNAN") == 0
        || word.compare(hash, 5, "#SNAN") == 0) {
        value = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    return false;
}

// A bare word that starts like a number (a digit, or a sign or point before one) and reads as one to its
// end; "inf", "nan" and hexadecimal forms stay words.
bool parseNumber(const std::string& word, FbxProperty& property)
{
    if (word.empty())
        return false;
    const size_t digitAt = (word[0] == '-' || word[0] == '+') ? 1 : 0;
    const bool startsLikeNumber
        = digitAt < word.size() && (isDigit(word[digitAt]) || (word[digitAt] == '.' && digitAt + 1 < word.size()));
    if (!startsLikeNumber)
        return false;
    int64_t whole = 0;
    if (parseWhole(word, whole)) {
        property.type = 'L';
        property.integer = whole;
        return true;
    }
    const char* begin = word.data() + digitAt - (word[0] == '-' ? 1 : 0);
    const char* end = word.data() + word.size();
    double real = 0;
    const auto result = std::from_chars(begin, end, real);
    if ((result.ec == std::errc() && result.ptr == end) || parseWindowsSpecial(word, real)) {
        property.type = 'D';
        property.real = real;
        return true;
    }
    return false;
}

FbxProperty wordValue(const std::string& word)
{
    FbxProperty property;
    if (!parseNumber(word, property)) {
        property.type = 'S';
        property.text = word;
    }
    return property;
}

} // namespace

FbxAsciiReader::FbxAsciiReader(const std::string& text, FbxDocument& document)
    : m_text(text)
    , m_document(document)
{
}

bool FbxAsciiReader::read(std::string& error)
{
    m_document.binary = false;
    m_document.bigEndian = false;
    if (m_text.compare(0, 3, kByteOrderMark) == 0)
        m_at = 3;
    if (!advance() || !readNodeList(m_document.nodes, 0, false)) {
        error = m_error;
        return false;
    }
    return true;
}

bool FbxAsciiReader::readNodeList(std::vector<FbxNode>& nodes, unsigned depth, bool closedByBrace)
{
    for (;;) {
        switch (m_token) {
        case TokenType::NAME:
            if (depth >= FbxTreeReader::kMaxNesting)
                return fail("nodes nest more than " + std::to_string(FbxTreeReader::kMaxNesting) + " levels deep");
            nodes.emplace_back();
            nodes.back().name = m_tokenText;
            if (!advance() || !readValues(nodes.back(), depth))
                return false;
            break;
        case TokenType::CLOSE:
            if (!closedByBrace)
                return fail("a '}' closes nothing");
            return advance();
        case TokenType::END:
            return closedByBrace ? fail("the file ends inside a node's braces") : true;
        default:
            return fail("a value stands where a node name is expected");
        }
    }
}

bool FbxAsciiReader::readValues(FbxNode& node, unsigned depth)
{
    for (;;) {
        switch (m_token) {
        case TokenType::TEXT:
            node.properties.emplace_back();
            node.properties.back().type = 'S';
            node.properties.back().text = m_tokenText;
            break;
        case TokenType::WORD:
            node.properties.push_back(wordValue(m_tokenText));
            break;
        case TokenType::COMMA:
            break; // between values, and before the first one in some files ("Content: ,")
        case TokenType::COUNT:
            if (!readArray(node))
                return false;
            continue;
        case TokenType::OPEN:
            return advance() && readNodeList(node.children, depth + 1, true);
        default:
            return true; // the next node's name, or the parent's closing brace
        }
        if (!advance())
            return false;
    }
}

bool FbxAsciiReader::readArray(FbxNode& node)
{
    // *N { a: v, v, ... }: the count is a promise the values need not keep, so it sizes nothing.
    if (!advance() || m_token != TokenType::OPEN || !advance() || m_token != TokenType::NAME)
        return fail("an array's count is not followed by its values in braces");
    FbxProperty array;
    array.type = 'l';
    for (;;) {
        if (!advance())
            return false;
        if (m_token == TokenType::CLOSE)
            break;
        if (m_token == TokenType::COMMA)
            continue;
        FbxProperty value;
        if (m_token != TokenType::WORD || !parseNumber(m_tokenText, value))
            return fail("an array holds something other than numbers");
        if (value.type == 'D' && array.type == 'l') {
            array.type = 'd';
            array.reals.assign(array.integers.begin(), array.integers.end());
            array.integers.clear();
        }
        if (array.type == 'd')
            array.reals.push_back(value.type == 'D' ? value.real : double(value.integer));
        else
            array.integers.push_back(value.integer);
    }
    node.properties.push_back(std::move(array));
    return advance();
}

bool FbxAsciiReader::advance()
{
    skipSpaceAndComments();
    m_tokenText.clear();
    if (m_at >= m_text.size()) {
        m_token = TokenType::END;
        return true;
    }
    switch (m_text[m_at]) {
    case ',':
        m_token = TokenType::COMMA;
        break;
    case '{':
        m_token = TokenType::OPEN;
        break;
    case '}':
        m_token = TokenType::CLOSE;
        break;
    case '"':
        return readQuoted();
    default:
        readBare();
        return true;
    }
    ++m_at;
    return true;
}

void FbxAsciiReader::skipSpaceAndComments()
{
    while (m_at < m_text.size()) {
        const char c = m_text[m_at];
        if (c == ';') {
            const size_t lineEnd = m_text.find('\n', m_at);
            m_at = lineEnd == std::string::npos ? m_text.size() : lineEnd;
        } else if (isSpace(c)) {
            m_line += c == '\n';
            ++m_at;
        } else {
            return;
        }
    }
}

bool FbxAsciiReader::readQuoted()
{
    const size_t begin = m_at + 1;
    const size_t end = m_text.find('"', begin);
    if (end == std::string::npos)
        return fail("a quoted string is not closed");
    m_token = TokenType::TEXT;
    m_tokenText.assign(m_text, begin, end - begin);
    for (size_t i = begin; i < end; ++i)
        m_line += m_text[i] == '\n';
    m_at = end + 1;
    return true;
}

void FbxAsciiReader::readBare()
{
    const size_t begin = m_at;
    while (m_at < m_text.size() && !endsBareWord(m_text[m_at]))
        ++m_at;
    // "Name:" (or "a:1" without the space) names a node; the rest of the word is scanned again.
    const size_t colon
        = size_t(std::find(m_text.begin() + long(begin), m_text.begin() + long(m_at), ':') - m_text.begin());
    if (colon > begin && colon < m_at) {
        m_token = TokenType::NAME;
        m_tokenText.assign(m_text, begin, colon - begin);
        m_at = colon + 1;
        return;
    }
    m_tokenText.assign(m_text, begin, m_at - begin);
    const bool count = m_tokenText.size() > 1 && m_tokenText[0] == '*'
        && m_tokenText.find_first_not_of("0123456789", 1) == std::string::npos;
    m_token = count ? TokenType::COUNT : TokenType::WORD;
}

bool FbxAsciiReader::fail(const std::string& what)
{
    m_error = what + " (line " + std::to_string(m_line) + ")";
    return false;
}
