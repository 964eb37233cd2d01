#include "engine/ChannelValue.h"

#include <cstring>

namespace engine {

ChannelValue::ChannelValue(unsigned int componentCount)
    : _componentCount(componentCount)
    , _byteSize(componentCount * sizeof(float))
    , _values(componentCount ? new float[componentCount]() : nullptr)
{
}

ChannelValue::ChannelValue(const ChannelValue& copy)
    : ChannelValue(copy._componentCount)
{
    if (_byteSize)
        std::memcpy(_values, copy._values, _byteSize);
}

ChannelValue& ChannelValue::operator=(const ChannelValue& copy)
{
    if (this == &copy)
        return *this;
    if (_componentCount != copy._componentCount) {
        delete[] _values;
        _componentCount = copy._componentCount;
        _byteSize = copy._byteSize;
        _values = _componentCount ? new float[_componentCount]() : nullptr;
    }
    if (_byteSize)
        std::memcpy(_values, copy._values, _byteSize);
    return *this;
}

ChannelValue::~ChannelValue()
{
    delete[] _values;
}

} // namespace engine
