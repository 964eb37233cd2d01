#include "Joint.h"

namespace engine {

Joint* Joint::create(const char* id) { return new Joint(id); }

Joint::Joint(const char* id)
    : Node(id)
{
}

} // namespace engine
