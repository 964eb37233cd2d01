#ifndef ENGINE_CHANNELVALUE_H
#define ENGINE_CHANNELVALUE_H

namespace engine {

// The value of one animated property: a fixed number of float components whose
// layout is decided by the property (see AnimationTarget). The buffer is sized
// once, so the per-frame path reads and writes it without allocating.
class ChannelValue
{
public:
    explicit ChannelValue(unsigned int componentCount = 0);
    ChannelValue(const ChannelValue& copy);
    ChannelValue& operator=(const ChannelValue& copy);
    ~ChannelValue();

    unsigned int componentCount() const { return _componentCount; }
    float* data() { return _values; }
    const float* data() const { return _values; }
    float& operator[](unsigned int i) { return _values[i]; }
    float operator[](unsigned int i) const { return _values[i]; }

private:
    unsigned int _componentCount;
    float* _values;
};

} // namespace engine

#endif
