#pragma once

#include <string>
#include <vector>

// Collects what Assimp's importers report while one file is read: the
// warnings and errors they log where they skip or repair parts of a damaged
// file and carry on. Installed as Assimp's process-wide logger for the
// lifetime of the object; one at a time.
class ImportLog {
public:
    enum class Severity { WARNING, ERROR };
    struct Entry {
        Severity severity;
        std::string text; // without Assimp's severity and thread prefix
    };

    ImportLog();
    ~ImportLog();
    ImportLog(const ImportLog&) = delete;
    ImportLog& operator=(const ImportLog&) = delete;

    const std::vector<Entry>& entries() const { return m_entries; }
    bool hasErrors() const;

    // The text of one logged line: "Warn,  T0: FBX: text\n" gives "FBX: text".
    static std::string plainText(const char* line);

private:
    class Stream;
    std::vector<Entry> m_entries;
};
