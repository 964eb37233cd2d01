#pragma once

#include "FbxNode.h"

#include <cstddef>
#include <string>

// The ASCII half of FbxTreeReader. A node is a name and a colon, then values separated by commas
// (over as many lines as it takes), then optionally its children in braces. A value is a number, a
// quoted string, a bare word (`Y`, `N`, `L`), or in 7.x files `*N { a: ... }`, an array of N numbers.
// `;` starts a comment that runs to the end of the line.
class FbxAsciiReader {
public:
    FbxAsciiReader(const std::string& text, FbxDocument& document);
    bool read(std::string& error);

private:
    enum class TokenType { NAME, TEXT, WORD, COUNT, COMMA, OPEN, CLOSE, END };

    bool readNodeList(std::vector<FbxNode>& nodes, unsigned depth, bool closedByBrace);
    bool readValues(FbxNode& node, unsigned depth);
    bool readArray(FbxNode& node);
    bool advance();
    void skipSpaceAndComments();
    bool readQuoted();
    void readBare();
    bool fail(const std::string& what);

    const std::string& m_text;
    FbxDocument& m_document;
    size_t m_at = 0;
    size_t m_line = 1;
    TokenType m_token = TokenType::END;
    std::string m_tokenText;
    std::string m_error;
};
