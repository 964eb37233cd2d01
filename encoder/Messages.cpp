#include "Messages.h"

namespace {

std::string escapeLineBreaks(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c != '\r')
            out += c;
    }
    return out;
}

// A title ends at '|' or ')' in the grammar, so neither may appear inside it.
std::string sanitizeTitle(const std::string& title)
{
    std::string out = escapeLineBreaks(title);
    for (char& c : out) {
        if (c == '|' || c == ')')
            c = ' ';
    }
    return out;
}

} // namespace

void Messages::warning(int code, const std::string& title, const std::string& text)
{
    m_entries.push_back({false, code, title, text});
}

void Messages::error(int code, const std::string& title, const std::string& text)
{
    m_entries.push_back({true, code, title, text});
}

bool Messages::hasErrors() const
{
    for (const Entry& e : m_entries) {
        if (e.error)
            return true;
    }
    return false;
}

std::string Messages::formatLine(const Entry& entry)
{
    return std::string(entry.error ? "Error" : "Warning") + " (GP#" + std::to_string(entry.code) + "|"
        + sanitizeTitle(entry.title) + "): " + escapeLineBreaks(entry.text);
}

void Messages::print(std::FILE* out, std::FILE* err) const
{
    for (const Entry& e : m_entries) {
        std::FILE* stream = e.error ? err : out;
        std::fprintf(stream, "%s\n", formatLine(e).c_str());
        std::fflush(stream);
    }
}
