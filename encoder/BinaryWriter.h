#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Little-endian writer over a buffered file, for the bundle. It tracks the
// byte position itself so that records can note their offsets while they are
// streamed out, and it can go back to patch the reference table at the end.
// Errors are sticky: after the first failed write every call is a no-op and
// ok() stays false, so callers check once at the end.
class BinaryWriter {
public:
    BinaryWriter() = default;
    ~BinaryWriter();
    BinaryWriter(const BinaryWriter&) = delete;
    BinaryWriter& operator=(const BinaryWriter&) = delete;

    bool open(const std::string& path);
    bool close(); // flushes; false when anything failed on the way

    void u8(uint8_t value);
    void u32(uint32_t value);
    void f32(float value);
    void floats(const float* values, size_t count);
    void bytes(const void* data, size_t size);
    void string(const std::string& text); // u32 byte count + bytes, no terminator

    bool seek(uint64_t position);
    uint64_t position() const { return m_position; }
    bool ok() const { return m_ok; }

private:
    void flushBuffer();

    std::FILE* m_file = nullptr;
    bool m_ok = false;
    uint64_t m_position = 0;
    unsigned char m_buffer[1 << 16];
    size_t m_used = 0;
};
