#pragma once

#include "FbxNode.h"

#include <string>

// Reads the bytes of an FBX file into its node tree, whatever the encoding:
// - binary in either byte order, with 32-bit record offsets before version 7500 and 64-bit ones from
//   7500 on, arrays stored raw or deflated;
// - ASCII in the 7.x layout (`Vertices: *24 { a: ... }`, `P:` lines) and in the older one (`Vertices:`
//   followed by a plain value list over as many lines as it takes, `Property:` lines, bare words).
// ASCII numbers read as 'L' when whole and 'D' otherwise; a 7.x array reads as 'l' when all its
// numbers are whole and as 'd' otherwise. Quoted text and bare words read as 'S'.
//
// Files arrive from anywhere, so every length is checked against the bytes left, nesting is bounded,
// a deflated array may not claim more than deflate can produce from its size, and a failure comes
// back as text.
class FbxTreeReader {
public:
    // Deeper nesting is refused: no exporter comes near it, and the tree is walked recursively.
    static constexpr unsigned kMaxNesting = 1000;

    // False, with the reason in `error`, when `bytes` do not hold a readable FBX node tree.
    static bool read(const std::string& bytes, FbxDocument& document, std::string& error);
    static bool readFile(const std::string& path, FbxDocument& document, std::string& error);
};
