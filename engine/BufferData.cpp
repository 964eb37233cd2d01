#include "BufferData.h"

#include <cstring>
#include <new>
#include <utility>

namespace engine {

void BufferData::share(std::shared_ptr<const unsigned char> bytes)
{
    m_own.reset();
    m_shared = std::move(bytes);
}

unsigned char* BufferData::writable(size_t size, bool callerFillsAll)
{
    if (m_own)
        return m_own.get();
    const bool cleared = !m_shared && !callerFillsAll;
    m_own.reset(cleared ? new (std::nothrow) unsigned char[size]() : new (std::nothrow) unsigned char[size]);
    if (m_own && m_shared)
        std::memcpy(m_own.get(), m_shared.get(), size);
    m_shared.reset();
    return m_own.get();
}

void BufferData::reset()
{
    m_own.reset();
    m_shared.reset();
}

} // namespace engine
