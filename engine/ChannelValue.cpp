#include "engine/ChannelValue.h"

#include <algorithm>

namespace engine {

ChannelValue::ChannelValue(unsigned int componentCount)
    : _componentCount(componentCount)
    , _values(componentCount ? new float[componentCount]() : nullptr)
{
}

ChannelValue::ChannelValue(const ChannelValue& copy)
    : ChannelValue(copy._componentCount)
{
    std::copy_n(copy._values, _componentCount, _values);
}

ChannelValue& ChannelValue::operator=(const ChannelValue& copy)
{
    if (this == &copy)
        return *this;
    if (_componentCount != copy._componentCount) {
        delete[] _values;
        _componentCount = copy._componentCount;
        _values = _componentCount ? new float[_componentCount]() : nullptr;
    }
    std::copy_n(copy._values, _componentCount, _values);
    return *this;
}

ChannelValue::~ChannelValue()
{
    delete[] _values;
}

} // namespace engine
