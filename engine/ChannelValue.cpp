#include "ChannelValue.h"

#include <algorithm>

namespace engine {

ChannelValue::ChannelValue(unsigned int componentCount)
    : m_componentCount(componentCount)
    , m_values(componentCount ? new float[componentCount]() : nullptr)
{
}

ChannelValue::ChannelValue(const ChannelValue& copy)
    : ChannelValue(copy.m_componentCount)
{
    std::copy_n(copy.m_values, m_componentCount, m_values);
}

ChannelValue& ChannelValue::operator=(const ChannelValue& copy)
{
    if (this == &copy)
        return *this;
    if (m_componentCount != copy.m_componentCount) {
        delete[] m_values;
        m_componentCount = copy.m_componentCount;
        m_values = m_componentCount ? new float[m_componentCount]() : nullptr;
    }
    std::copy_n(copy.m_values, m_componentCount, m_values);
    return *this;
}

ChannelValue::~ChannelValue() { delete[] m_values; }

} // namespace engine
