#pragma once

#include <cstddef>
#include <memory>

namespace engine {

// Bytes waiting in memory for an OpenGL buffer: shared with where they came
// from (a file read once) or an own copy, made only when a range changes.
class BufferData {
public:
    const unsigned char* get() const { return m_own ? m_own.get() : m_shared.get(); }
    bool empty() const { return get() == nullptr; }
    void share(std::shared_ptr<const unsigned char> bytes);
    // An own copy of 'size' bytes to write into: the shared bytes when there
    // are some, else zeros unless the caller fills all of it. Null when out
    // of memory.
    unsigned char* writable(size_t size, bool callerFillsAll);
    void reset();

private:
    std::unique_ptr<unsigned char[]> m_own;
    std::shared_ptr<const unsigned char> m_shared;
};

} // namespace engine
