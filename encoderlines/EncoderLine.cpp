#include "EncoderLine.h"

#include <climits>
#include <cstdio>

namespace {

const std::string kWarningPrefix = "Warning (GP#";
const std::string kErrorPrefix = "Error (GP#";
const std::string kReadFilePrefix = "Read file: ";
const std::string kMissingFilePrefix = "Missing file: ";
const std::string kTitleEnds = "|)";
const size_t kMd5HexLength = 32;

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the valid UTF-8 sequence of more than one byte at `at`, or 0.
size_t multiByteLength(const std::string& bytes, size_t at)
{
    const unsigned char lead = bytes[at];
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80; // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF; // nothing above U+10FFFF
    }
    if (length == 0 || at + length > bytes.size())
        return 0;
    const unsigned char second = bytes[at + 1];
    if (second < low || second > high)
        return 0;
    for (size_t i = 2; i < length; ++i) {
        if (!isContinuation(bytes[at + i]))
            return 0;
    }
    return length;
}

void appendHexEscape(std::string& out, unsigned char byte)
{
    char hex[5];
    std::snprintf(hex, sizeof hex, "\\x%02X", byte);
    out += hex;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The decimal digits after the first "#"; -1 when there are none or too many.
int codeOf(const std::string& line)
{
    const size_t hash = line.find('#');
    if (hash == std::string::npos)
        return -1;
    long long code = 0;
    size_t at = hash + 1;
    for (; at < line.size() && line[at] >= '0' && line[at] <= '9'; ++at) {
        code = code * 10 + (line[at] - '0');
        if (code > INT_MAX)
            return -1;
    }
    return at == hash + 1 ? -1 : int(code);
}

std::string from(const std::string& text, size_t at) { return at < text.size() ? text.substr(at) : std::string(); }

} // namespace

std::string EncoderLine::escape(const std::string& bytes, const std::string& alsoEscaped)
{
    std::string out;
    out.reserve(bytes.size());
    for (size_t at = 0; at < bytes.size();) {
        const unsigned char byte = bytes[at];
        if (byte >= 0x80) {
            const size_t length = multiByteLength(bytes, at);
            if (length == 0)
                appendHexEscape(out, byte);
            else
                out.append(bytes, at, length);
            at += length == 0 ? 1 : length;
            continue;
        }
        if (byte == '\\')
            out += "\\\\";
        else if (byte == '\n')
            out += "\\n";
        else if (byte == '\r')
            out += "\\r";
        else if ((byte < 0x20 && byte != '\t') || byte == 0x7F || alsoEscaped.find(char(byte)) != std::string::npos)
            appendHexEscape(out, byte);
        else
            out += char(byte);
        ++at;
    }
    return out;
}

std::string EncoderLine::unescape(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size(); ++at) {
        const char next = at + 1 < text.size() ? text[at + 1] : '\0';
        if (text[at] != '\\' || (next != '\\' && next != 'n' && next != 'r' && next != 'x')) {
            out += text[at]; // a lone backslash stands for itself
            continue;
        }
        if (next == 'x') {
            const int high = at + 2 < text.size() ? hexValue(text[at + 2]) : -1;
            const int low = at + 3 < text.size() ? hexValue(text[at + 3]) : -1;
            if (high < 0 || low < 0) {
                out += text[at];
                continue;
            }
            out += char(high * 16 + low);
            at += 3;
            continue;
        }
        out += next == 'n' ? '\n' : next == 'r' ? '\r' : '\\';
        ++at;
    }
    return out;
}

std::string EncoderLine::record(const Record& record)
{
    return (record.severity == Severity::Error ? kErrorPrefix : kWarningPrefix) + std::to_string(record.code) + "|"
        + escape(record.title, kTitleEnds) + "): " + escape(record.text);
}

std::string EncoderLine::readFile(const std::string& md5Hex, const std::string& path)
{
    return kReadFilePrefix + md5Hex + " " + escape(path);
}

std::string EncoderLine::missingFile(const std::string& path) { return kMissingFilePrefix + escape(path); }

bool EncoderLine::readRecord(const std::string& line, Record& record)
{
    const bool error = startsWith(line, kErrorPrefix);
    if (!error && !startsWith(line, kWarningPrefix))
        return false;
    record = Record();
    record.severity = error ? Severity::Error : Severity::Warning;
    if (line.size() <= (error ? kErrorPrefix : kWarningPrefix).size() + 4)
        return true;
    record.code = codeOf(line);
    // The title is "|title)"; a line without one has its long text stand in
    // for it, from two characters after ")" (or from the start's second).
    const size_t paren = line.find(')');
    const size_t bar = line.find('|');
    const size_t afterParen = paren == std::string::npos ? 0 : paren + 1;
    if (paren != std::string::npos && bar != std::string::npos && bar <= paren)
        record.title = unescape(line.substr(bar + 1, paren - bar - 1));
    else
        record.title = unescape(from(line, afterParen + 1));
    // The long text follows ")" and its two separator characters (": ").
    record.text = unescape(from(line, afterParen + 2));
    return true;
}

bool EncoderLine::readReadFile(const std::string& line, std::string& md5Hex, std::string& path)
{
    const size_t pathStart = kReadFilePrefix.size() + kMd5HexLength + 1;
    if (!startsWith(line, kReadFilePrefix) || line.size() <= pathStart || line[pathStart - 1] != ' ')
        return false;
    md5Hex = line.substr(kReadFilePrefix.size(), kMd5HexLength);
    for (char c : md5Hex) {
        if (hexValue(c) < 0)
            return false;
    }
    path = unescape(line.substr(pathStart));
    return true;
}

bool EncoderLine::readMissingFile(const std::string& line, std::string& path)
{
    if (!startsWith(line, kMissingFilePrefix) || line.size() <= kMissingFilePrefix.size())
        return false;
    path = unescape(line.substr(kMissingFilePrefix.size()));
    return true;
}
