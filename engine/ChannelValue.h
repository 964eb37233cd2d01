#pragma once

namespace engine {

// The value of one animated property: a fixed number of float components whose
// layout is decided by the property (see AnimationTarget). The buffer is sized
// once, so the per-frame path reads and writes it without allocating.
class ChannelValue {
public:
    explicit ChannelValue(unsigned int componentCount = 0);
    ChannelValue(const ChannelValue& copy);
    ChannelValue& operator=(const ChannelValue& copy);
    ~ChannelValue();

    unsigned int componentCount() const { return m_componentCount; }
    float* data() { return m_values; }
    const float* data() const { return m_values; }
    float& operator[](unsigned int i) { return m_values[i]; }
    float operator[](unsigned int i) const { return m_values[i]; }

private:
    unsigned int m_componentCount;
    float* m_values;
};

} // namespace engine
