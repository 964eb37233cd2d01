#pragma once

#include <string>

namespace engine {

class Effect;

// One active uniform of an effect's program. Samplers carry the texture unit
// they are bound to; other uniforms have index 0.
struct Uniform {
    std::string name;
    int location = -1;
    unsigned int type = 0;
    unsigned int index = 0;
    Effect* effect = nullptr;
};

} // namespace engine
