#pragma once

#include <string>

// One line of model-encoder's console output: written by the encoder, read
// back by the application. Both programs link this library, so the two sides
// cannot drift apart; it is plain C++ without dependencies, which keeps the
// encoder free of anything the application links.
//
//   Warning (GP#2nnn|Short title): long text        a record (standard output)
//   Error (GP#1nnn|Short title): long text          a record (standard error)
//   Read file: <MD5 of the bytes read, hex> <path>  a file the conversion read
//   Missing file: <path>                            a file the model names that was not there
//
// Texts and paths stay readable on a terminal: they are written as they are,
// except that a backslash becomes "\\", a line break "\n", a carriage return
// "\r", and any other control byte or byte that is not part of valid UTF-8
// "\xHH". In a title, "|" and ")" (which end it) are written as "\x7C" and
// "\x29". Reading reverses exactly that, so any byte string survives the trip.
class EncoderLine {
public:
    enum class Severity { Warning, Error };

    struct Record {
        Severity severity = Severity::Error;
        int code = -1; // -1 when the line carries no readable code
        std::string title;
        std::string text;
    };

    static std::string record(const Record& record);
    static std::string readFile(const std::string& md5Hex, const std::string& path);
    static std::string missingFile(const std::string& path);

    // Each reader returns false when the line is not of its kind. A record
    // line that starts right but breaks the grammar still reads, as far as it
    // goes (code -1, texts empty or partial), so that no error is lost.
    static bool readRecord(const std::string& line, Record& record);
    static bool readReadFile(const std::string& line, std::string& md5Hex, std::string& path);
    static bool readMissingFile(const std::string& line, std::string& path);

    static std::string escape(const std::string& bytes, const std::string& alsoEscaped = std::string());
    static std::string unescape(const std::string& text);
};
