#pragma once

#include <cstdio>
#include <string>
#include <vector>

// Warnings and errors in the line grammar the application parses:
//   Warning (GP#2nnn|Short title): long text
//   Error (GP#1nnn|Short title): long text
// Line breaks inside the long text are written as the two characters '\' 'n'.
// Codes and their meaning are listed in docs/encoder-messages.md.
class Messages {
public:
    struct Entry {
        bool error;
        int code;
        std::string title;
        std::string text;
    };

    void warning(int code, const std::string& title, const std::string& text);
    void error(int code, const std::string& title, const std::string& text);

    bool hasErrors() const;
    const std::vector<Entry>& entries() const { return m_entries; }

    // Prints every entry: warnings to standard output, errors to standard error.
    void print(std::FILE* out, std::FILE* err) const;

    static std::string formatLine(const Entry& entry);

private:
    std::vector<Entry> m_entries;
};
