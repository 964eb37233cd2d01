#include "FbxBinaryWriter.h"

#include <cstring>
#include <limits>

namespace {

// The identifier, its NUL, 0x1A, and the byte-order flag (0: little-endian).
const char kHeader[] = "Kaydara FBX Binary  \0\x1a\0";
const size_t kHeaderBytes = sizeof(kHeader) - 1;
const unsigned kOffsetWidth = 8;
const size_t kNullRecordBytes = 3 * kOffsetWidth + 1;
const size_t kMaxNameBytes = 255;
const uint64_t kMaxLength = std::numeric_limits<uint32_t>::max();
// The footer's fixed parts, as the FBX SDK writes them; readers check at most the closing magic.
const unsigned char kFooterId[]
    = {0xfa, 0xbc, 0xab, 0x09, 0xd0, 0xc8, 0xd4, 0x66, 0xb1, 0x76, 0xfb, 0x83, 0x1c, 0xf7, 0x26, 0x7e};
const unsigned char kFooterMagic[]
    = {0xf8, 0x5a, 0x8c, 0x6a, 0xde, 0xf5, 0xd9, 0x7e, 0xec, 0xe9, 0x0c, 0xe3, 0x75, 0x8f, 0x29, 0x0b};
const size_t kFooterZeros = 120;
const char kObjectsSection[] = "Objects";

unsigned elementWidth(char type) { return type == 'b' ? 1 : (type == 'i' || type == 'f') ? 4 : 8; }

uint64_t bitsOf(double value, unsigned width)
{
    if (width == 4) {
        const float narrow = float(value);
        uint32_t bits;
        std::memcpy(&bits, &narrow, sizeof(bits));
        return bits;
    }
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

void storeLittleEndian(char* at, uint64_t value, unsigned width)
{
    for (unsigned i = 0; i < width; ++i)
        at[i] = char(uint8_t(value >> (8 * i)));
}

} // namespace

FbxBinaryWriter::FbxBinaryWriter(std::string& bytes)
    : m_bytes(bytes)
{
}

bool FbxBinaryWriter::write(const FbxDocument& document, std::string& bytes, std::string& error)
{
    bytes.clear();
    FbxBinaryWriter writer(bytes);
    const unsigned version = document.version > kVersion ? document.version : kVersion;
    bytes.append(kHeader, kHeaderBytes);
    writer.putUnsigned(version, 4);
    for (const FbxNode& node : document.nodes) {
        if (!writer.writeRecord(node, Level::TOP)) {
            error = writer.m_error;
            bytes.clear();
            return false;
        }
    }
    writer.writeNullRecord();
    writer.writeFooter(version);
    return true;
}

bool FbxBinaryWriter::writeRecord(const FbxNode& node, Level level)
{
    if (node.name.size() > kMaxNameBytes)
        return fail("the node name \"" + node.name.substr(0, 64) + "...\" is longer than 255 bytes");
    const size_t start = m_bytes.size();
    putUnsigned(0, kOffsetWidth); // where the record ends, patched below
    putUnsigned(node.properties.size(), kOffsetWidth);
    putUnsigned(0, kOffsetWidth); // the properties' length, patched below
    putUnsigned(node.name.size(), 1);
    m_bytes += node.name;
    const size_t propertiesStart = m_bytes.size();
    for (const FbxProperty& property : node.properties) {
        if (!writeProperty(property))
            return false;
    }
    patchUnsigned(start + 2 * kOffsetWidth, m_bytes.size() - propertiesStart);
    // A child list, even an empty one, is what tells "Name: {}" from a record that was never opened.
    // The FBX SDK opens one for every record without properties and for every object, and the
    // importer insists on it for objects.
    if (!node.children.empty() || node.properties.empty() || level == Level::OBJECT) {
        const Level childLevel = level == Level::TOP && node.name == kObjectsSection ? Level::OBJECT : Level::NESTED;
        for (const FbxNode& child : node.children) {
            if (!writeRecord(child, childLevel))
                return false;
        }
        writeNullRecord();
    }
    patchUnsigned(start, m_bytes.size());
    return true;
}

bool FbxBinaryWriter::writeProperty(const FbxProperty& property)
{
    m_bytes += property.type;
    switch (property.type) {
    case 'C':
        putUnsigned(uint64_t(property.integer), 1);
        return true;
    case 'Y':
        putUnsigned(uint64_t(property.integer), 2);
        return true;
    case 'I':
        putUnsigned(uint64_t(property.integer), 4);
        return true;
    case 'L':
        putUnsigned(uint64_t(property.integer), 8);
        return true;
    case 'F':
        putUnsigned(bitsOf(property.real, 4), 4);
        return true;
    case 'D':
        putUnsigned(bitsOf(property.real, 8), 8);
        return true;
    case 'S':
    case 'R':
        if (property.text.size() > kMaxLength)
            return fail("a text value is longer than 4 GiB");
        putUnsigned(property.text.size(), 4);
        m_bytes += property.text;
        return true;
    default:
        if (!property.isArray())
            return fail(std::string("unknown property type '") + property.type + "'");
        return writeArray(property);
    }
}

bool FbxBinaryWriter::writeArray(const FbxProperty& property)
{
    const bool real = property.type == 'f' || property.type == 'd';
    const size_t count = real ? property.reals.size() : property.integers.size();
    const unsigned width = elementWidth(property.type);
    if (uint64_t(count) * width > kMaxLength)
        return fail("an array is larger than 4 GiB");
    putUnsigned(count, 4);
    putUnsigned(0, 4); // stored raw: the importer reads it without inflating
    putUnsigned(count * width, 4);
    const size_t at = m_bytes.size();
    m_bytes.resize(at + count * width);
    char* out = &m_bytes[at];
    for (size_t i = 0; i < count; ++i, out += width)
        storeLittleEndian(out, real ? bitsOf(property.reals[i], width) : uint64_t(property.integers[i]), width);
    return true;
}

void FbxBinaryWriter::writeNullRecord() { m_bytes.append(kNullRecordBytes, '\0'); }

void FbxBinaryWriter::writeFooter(unsigned version)
{
    m_bytes.append(reinterpret_cast<const char*>(kFooterId), sizeof(kFooterId));
    m_bytes.append(4, '\0');
    // Zeros up to the next multiple of 16, a whole 16 when already there.
    m_bytes.append(16 - m_bytes.size() % 16, '\0');
    putUnsigned(version, 4);
    m_bytes.append(kFooterZeros, '\0');
    m_bytes.append(reinterpret_cast<const char*>(kFooterMagic), sizeof(kFooterMagic));
}

void FbxBinaryWriter::putUnsigned(uint64_t value, unsigned width)
{
    const size_t at = m_bytes.size();
    m_bytes.resize(at + width);
    storeLittleEndian(&m_bytes[at], value, width);
}

void FbxBinaryWriter::patchUnsigned(size_t at, uint64_t value) { storeLittleEndian(&m_bytes[at], value, kOffsetWidth); }

bool FbxBinaryWriter::fail(const std::string& what)
{
    m_error = what;
    return false;
}
