#pragma once

#include "FbxNode.h"

#include <cstdint>
#include <string>

// Writes a node tree as a little-endian binary FBX 7.5 file: the header, records with 64-bit offsets,
// arrays stored raw, a record of zeros after every child list and at the end of the top level, and
// the closing footer. Assimp's FBX reader takes the result as it takes files written by the FBX SDK.
class FbxBinaryWriter {
public:
    static constexpr unsigned kVersion = 7500;

    // False, with the reason in `error`, when a node cannot be stored: a name longer than 255 bytes,
    // an unknown property type, text or an array too long for its 32-bit length.
    static bool write(const FbxDocument& document, std::string& bytes, std::string& error);

private:
    // Where a record stands: on the top level, as an object (a child of the top-level "Objects"), or below.
    enum class Level { TOP, OBJECT, NESTED };

    explicit FbxBinaryWriter(std::string& bytes);
    bool writeRecord(const FbxNode& node, Level level);
    bool writeProperty(const FbxProperty& property);
    bool writeArray(const FbxProperty& property);
    void writeNullRecord();
    void writeFooter(unsigned version);
    void putUnsigned(uint64_t value, unsigned width);
    void patchUnsigned(size_t at, uint64_t value);
    bool fail(const std::string& what);

    std::string& m_bytes;
    std::string m_error;
};
