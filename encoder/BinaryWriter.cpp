#include "BinaryWriter.h"

#include <algorithm>
#include <cstring>

BinaryWriter::~BinaryWriter()
{
    if (m_file)
        std::fclose(m_file);
}

bool BinaryWriter::open(const std::string& path)
{
    m_file = std::fopen(path.c_str(), "wb");
    m_ok = m_file != nullptr;
    m_position = 0;
    m_used = 0;
    return m_ok;
}

bool BinaryWriter::close()
{
    if (!m_file)
        return false;
    flushBuffer();
    if (std::fclose(m_file) != 0)
        m_ok = false;
    m_file = nullptr;
    return m_ok;
}

void BinaryWriter::flushBuffer()
{
    if (m_ok && m_used > 0 && std::fwrite(m_buffer, 1, m_used, m_file) != m_used)
        m_ok = false;
    m_used = 0;
}

void BinaryWriter::bytes(const void* data, size_t size)
{
    if (!m_ok)
        return;
    const unsigned char* in = static_cast<const unsigned char*>(data);
    m_position += size;
    while (size > 0) {
        if (m_used == sizeof(m_buffer))
            flushBuffer();
        const size_t chunk = std::min(size, sizeof(m_buffer) - m_used);
        std::memcpy(m_buffer + m_used, in, chunk);
        m_used += chunk;
        in += chunk;
        size -= chunk;
    }
}

void BinaryWriter::u8(uint8_t value) { bytes(&value, 1); }

void BinaryWriter::u32(uint32_t value)
{
    const unsigned char le[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                 static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    bytes(le, sizeof(le));
}

void BinaryWriter::f32(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    u32(bits);
}

void BinaryWriter::floats(const float* values, size_t count)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // The memory layout already is the file's.
    bytes(values, count * sizeof(float));
#else
    for (size_t i = 0; i < count; ++i)
        f32(values[i]);
#endif
}

void BinaryWriter::string(const std::string& text)
{
    u32(static_cast<uint32_t>(text.size()));
    bytes(text.data(), text.size());
}

bool BinaryWriter::seek(uint64_t position)
{
    flushBuffer();
    if (!m_ok || std::fseek(m_file, static_cast<long>(position), SEEK_SET) != 0) {
        m_ok = false;
        return false;
    }
    m_position = position;
    return true;
}
