#include "ImportLog.h"

#include <assimp/DefaultLogger.hpp>
#include <assimp/LogStream.hpp>

#include <algorithm>
#include <cstring>

// The logger owns and deletes its streams; each one only appends to the log that made it.
class ImportLog::Stream : public Assimp::LogStream {
public:
    Stream(ImportLog& log, Severity severity)
        : m_log(log)
        , m_severity(severity)
    {
    }

    void write(const char* message) override
    {
        // A damaged file can make an importer repeat one complaint per element; a bounded
        // log keeps memory and the message list in proportion.
        if (m_log.m_entries.size() < kMaxEntries)
            m_log.m_entries.push_back({m_severity, plainText(message)});
    }

private:
    static constexpr size_t kMaxEntries = 10000;
    ImportLog& m_log;
    Severity m_severity;
};

ImportLog::ImportLog()
{
    Assimp::Logger* logger = Assimp::DefaultLogger::create("", Assimp::Logger::NORMAL, 0);
    logger->attachStream(new Stream(*this, Severity::WARNING), Assimp::Logger::Warn);
    logger->attachStream(new Stream(*this, Severity::ERROR), Assimp::Logger::Err);
}

ImportLog::~ImportLog() { Assimp::DefaultLogger::kill(); }

bool ImportLog::hasErrors() const
{
    return std::any_of(m_entries.begin(), m_entries.end(),
                       [](const Entry& entry) { return entry.severity == Severity::ERROR; });
}

std::string ImportLog::plainText(const char* line)
{
    std::string text = line ? line : "";
    // Assimp writes "Warn,  T0: " or "Error, T0: " before the text and a line break after it.
    static const char* const kPrefixes[] = {"Warn,", "Error,", "Info,", "Debug,"};
    for (const char* prefix : kPrefixes) {
        const size_t colon = text.find(": ");
        if (text.compare(0, std::strlen(prefix), prefix) == 0 && colon != std::string::npos) {
            text.erase(0, colon + 2);
            break;
        }
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}
