#pragma once

#include <cstdio>
#include <string>
#include <vector>

// Warnings and errors in the line grammar the application parses:
//   Warning (GP#2nnn|Short title): long text
//   Error (GP#1nnn|Short title): long text
// EncoderLine writes them, so that any byte of a title or text reads back as it was.
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
    // Appends the entries of a list file: for each, the decimal code, the
    // title and the text, each ended by a zero byte; codes below 2000 are
    // errors. False when the file cannot be read or does not end an entry.
    bool readList(const std::string& path);
    const std::vector<Entry>& entries() const { return m_entries; }

    // Prints every entry: warnings to standard output, errors to standard error.
    void print(std::FILE* out, std::FILE* err) const;

    static std::string formatLine(const Entry& entry);

private:
    std::vector<Entry> m_entries;
};
