#include "Messages.h"

#include "EncoderLine.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {
const int kFirstWarningCode = 2000;
}

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
    const EncoderLine::Severity severity = entry.error ? EncoderLine::Severity::Error : EncoderLine::Severity::Warning;
    return EncoderLine::record({severity, entry.code, entry.title, entry.text});
}

void Messages::print(std::FILE* out, std::FILE* err) const
{
    for (const Entry& e : m_entries) {
        std::FILE* stream = e.error ? err : out;
        std::fprintf(stream, "%s\n", formatLine(e).c_str());
        std::fflush(stream);
    }
}

bool Messages::readList(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    const std::string list((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<std::string> fields;
    for (size_t start = 0, end; start < list.size(); start = end + 1) {
        end = list.find('\0', start);
        if (end == std::string::npos)
            return false;
        fields.push_back(list.substr(start, end - start));
    }
    if (fields.size() % 3 != 0)
        return false;
    for (size_t i = 0; i < fields.size(); i += 3) {
        const int code = std::atoi(fields[i].c_str());
        m_entries.push_back({code < kFirstWarningCode, code, fields[i + 1], fields[i + 2]});
    }
    return true;
}
