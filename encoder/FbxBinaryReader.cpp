#include "FbxBinaryReader.h"

#include "FbxTreeReader.h"

#include <zlib.h>

#include <cstring>

namespace {

const char kMagic[] = "Kaydara FBX Binary";
const size_t kEndianFlagAt = 22;
const size_t kVersionAt = 23;
// Records of version 7500 and later store their offsets and counts in 64 bits.
const unsigned kWideOffsetsFrom = 7500;
// Deflate never expands data by more than about 1032 to 1; an array that claims more than that of its
// stored size is damaged or made to exhaust memory, and is refused before anything is allocated.
const uint64_t kMaxInflation = 1032;
const uint64_t kInflationSlack = 1024;

unsigned elementWidth(char type)
{
    switch (type) {
    case 'b':
    case 'c':
        return 1;
    case 'i':
    case 'f':
        return 4;
    case 'l':
    case 'd':
        return 8;
    default:
        return 0;
    }
}

int64_t signExtended(uint64_t value, unsigned width)
{
    if (width >= 8)
        return int64_t(value);
    const uint64_t sign = uint64_t(1) << (8 * width - 1);
    return int64_t((value ^ sign) - sign);
}

double floatFromBits(uint64_t bits, unsigned width)
{
    if (width == 4) {
        const uint32_t narrow = uint32_t(bits);
        float value;
        std::memcpy(&value, &narrow, sizeof(value));
        return value;
    }
    double value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

} // namespace

FbxBinaryReader::FbxBinaryReader(const std::string& bytes, FbxDocument& document)
    : m_bytes(reinterpret_cast<const uint8_t*>(bytes.data()))
    , m_size(bytes.size())
    , m_document(document)
{
}

bool FbxBinaryReader::read(std::string& error)
{
    if (m_size < kHeaderSize || std::memcmp(m_bytes, kMagic, sizeof(kMagic) - 1) != 0) {
        error = "the binary FBX header is missing or damaged";
        return false;
    }
    m_document.binary = true;
    m_document.bigEndian = m_bytes[kEndianFlagAt] != 0;
    m_document.version = unsigned(unsignedAt(m_bytes + kVersionAt, 4));
    m_offsetWidth = m_document.version >= kWideOffsetsFrom ? 8 : 4;
    // The top level ends with a record of zeros, followed by a footer that holds no nodes.
    if (!readRecordList(m_document.nodes, m_size, 0, false)) {
        error = m_error;
        return false;
    }
    return true;
}

bool FbxBinaryReader::readRecordList(std::vector<FbxNode>& nodes, uint64_t end, unsigned depth, bool closedByNull)
{
    const uint64_t headerBytes = 3 * m_offsetWidth + 1;
    while (m_at < end) {
        if (!closedByNull && end - m_at < headerBytes)
            return true; // a file that ends without the closing record of zeros
        RecordHeader header;
        if (!readRecordHeader(header, end))
            return false;
        if (header.end == 0)
            return true;
        if (header.end > end || header.end < m_at)
            return fail("the record \"" + header.name + "\" ends outside its parent");
        if (depth >= FbxTreeReader::kMaxNesting)
            return fail("records nest more than " + std::to_string(FbxTreeReader::kMaxNesting) + " levels deep");
        nodes.emplace_back();
        if (!readRecord(header, nodes.back(), depth))
            return false;
    }
    return true;
}

bool FbxBinaryReader::readRecordHeader(RecordHeader& header, uint64_t end)
{
    const uint8_t* name = nullptr;
    uint64_t nameLength = 0;
    if (!takeUnsigned(m_offsetWidth, end, header.end) || !takeUnsigned(m_offsetWidth, end, header.propertyCount)
        || !takeUnsigned(m_offsetWidth, end, header.propertyBytes) || !takeUnsigned(1, end, nameLength)
        || !take(nameLength, end, name))
        return false;
    header.name.assign(reinterpret_cast<const char*>(name), size_t(nameLength));
    return true;
}

bool FbxBinaryReader::readRecord(const RecordHeader& header, FbxNode& node, unsigned depth)
{
    node.name = header.name;
    if (header.propertyBytes > header.end - m_at || header.propertyCount > header.propertyBytes)
        return fail("the properties of \"" + header.name + "\" run past the record");
    const uint64_t propertiesEnd = m_at + header.propertyBytes;
    // Grown as properties are read, so a count the bytes do not back allocates nothing.
    for (uint64_t i = 0; i < header.propertyCount; ++i) {
        node.properties.emplace_back();
        if (!readProperty(node.properties.back(), propertiesEnd))
            return false;
    }
    if (m_at != propertiesEnd)
        return fail("the properties of \"" + header.name + "\" do not fill their stated length");
    if (m_at < header.end) {
        if (!readRecordList(node.children, header.end, depth + 1, true))
            return false;
    }
    if (m_at != header.end)
        return fail("the record \"" + header.name + "\" does not end where it says");
    return true;
}

bool FbxBinaryReader::readProperty(FbxProperty& property, uint64_t end)
{
    const uint8_t* data = nullptr;
    if (!take(1, end, data))
        return false;
    property.type = char(*data);
    switch (property.type) {
    case 'C':
    case 'Y':
    case 'I':
    case 'L': {
        const unsigned width = property.type == 'C' ? 1 : property.type == 'Y' ? 2 : property.type == 'I' ? 4 : 8;
        uint64_t value = 0;
        if (!takeUnsigned(width, end, value))
            return false;
        // A bool keeps its byte as stored: exporters write 0/1 or 'T'/'F'.
        property.integer = property.type == 'C' ? int64_t(value) : signExtended(value, width);
        return true;
    }
    case 'F':
    case 'D': {
        const unsigned width = property.type == 'F' ? 4 : 8;
        uint64_t bits = 0;
        if (!takeUnsigned(width, end, bits))
            return false;
        property.real = floatFromBits(bits, width);
        return true;
    }
    case 'S':
    case 'R': {
        uint64_t length = 0;
        if (!takeUnsigned(4, end, length) || !take(length, end, data))
            return false;
        property.text.assign(reinterpret_cast<const char*>(data), size_t(length));
        return true;
    }
    default:
        if (elementWidth(property.type) == 0)
            return fail(std::string("unknown property type '") + property.type + "'");
        return readArray(property, end);
    }
}

bool FbxBinaryReader::readArray(FbxProperty& property, uint64_t end)
{
    const unsigned width = elementWidth(property.type);
    // 'c' is an older name for the one-byte array.
    if (property.type == 'c')
        property.type = 'b';
    uint64_t count = 0, encoding = 0, stored = 0;
    const uint8_t* data = nullptr;
    if (!takeUnsigned(4, end, count) || !takeUnsigned(4, end, encoding) || !takeUnsigned(4, end, stored)
        || !take(stored, end, data))
        return false;
    const uint64_t size = count * width;
    if (encoding == 0) {
        if (stored != size)
            return fail("an array's stored size does not match its element count");
        return readArrayElements(property, data, count, width);
    }
    if (encoding != 1)
        return fail("an array uses an unknown encoding " + std::to_string(encoding));
    if (size > stored * kMaxInflation + kInflationSlack)
        return fail("a compressed array claims more elements than its data can hold");
    std::vector<uint8_t> inflated(static_cast<size_t>(size));
    uLongf inflatedSize = uLongf(size);
    const int result = uncompress(inflated.data(), &inflatedSize, data, uLong(stored));
    if (result != Z_OK || inflatedSize != size)
        return fail("a compressed array is damaged");
    return readArrayElements(property, inflated.data(), count, width);
}

bool FbxBinaryReader::readArrayElements(FbxProperty& property, const uint8_t* data, uint64_t count, unsigned width)
{
    const bool real = property.type == 'f' || property.type == 'd';
    if (real)
        property.reals.resize(size_t(count));
    else
        property.integers.resize(size_t(count));
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t value = unsignedAt(data + i * width, width);
        if (real)
            property.reals[i] = floatFromBits(value, width);
        else
            property.integers[i] = property.type == 'b' ? int64_t(value) : signExtended(value, width);
    }
    return true;
}

bool FbxBinaryReader::take(uint64_t size, uint64_t end, const uint8_t*& data)
{
    if (m_at > end || size > end - m_at)
        return fail("data runs past the end of its record or of the file");
    data = m_bytes + m_at;
    m_at += size;
    return true;
}

bool FbxBinaryReader::takeUnsigned(unsigned width, uint64_t end, uint64_t& value)
{
    const uint8_t* data = nullptr;
    if (!take(width, end, data))
        return false;
    value = unsignedAt(data, width);
    return true;
}

uint64_t FbxBinaryReader::unsignedAt(const uint8_t* data, unsigned width) const
{
    uint64_t value = 0;
    for (unsigned i = 0; i < width; ++i) {
        const unsigned byte = m_document.bigEndian ? i : width - 1 - i;
        value = value << 8 | data[byte];
    }
    return value;
}

bool FbxBinaryReader::fail(const std::string& what)
{
    m_error = what + " (at byte " + std::to_string(m_at) + ")";
    return false;
}
