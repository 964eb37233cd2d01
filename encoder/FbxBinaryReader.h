#pragma once

#include "FbxNode.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The binary half of FbxTreeReader: the 27-byte header, then records, each with the file offset at
// which it ends, its property count and length, its name, its properties and, when it ends later,
// its children closed by a record of zeros. Integers and numbers are stored in the byte order the
// header names; offsets are 64-bit from version 7500 on.
class FbxBinaryReader {
public:
    static const size_t kHeaderSize = 27;

    FbxBinaryReader(const std::string& bytes, FbxDocument& document);
    bool read(std::string& error);

private:
    struct RecordHeader {
        uint64_t end = 0;
        uint64_t propertyCount = 0;
        uint64_t propertyBytes = 0;
        std::string name;
    };

    bool readRecordList(std::vector<FbxNode>& nodes, uint64_t end, unsigned depth, bool closedByNull);
    bool readRecordHeader(RecordHeader& header, uint64_t end);
    bool readRecord(const RecordHeader& header, FbxNode& node, unsigned depth);
    bool readProperty(FbxProperty& property, uint64_t end);
    bool readArray(FbxProperty& property, uint64_t end);
    bool readArrayElements(FbxProperty& property, const uint8_t* data, uint64_t count, unsigned width);
    bool take(uint64_t size, uint64_t end, const uint8_t*& data);
    bool takeUnsigned(unsigned width, uint64_t end, uint64_t& value);
    uint64_t unsignedAt(const uint8_t* data, unsigned width) const;
    bool fail(const std::string& what);

    const uint8_t* m_bytes;
    uint64_t m_size;
    FbxDocument& m_document;
    uint64_t m_at = kHeaderSize;
    unsigned m_offsetWidth = 4;
    std::string m_error;
};
