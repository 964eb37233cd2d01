#include "Drawable.h"

namespace engine {

Drawable::~Drawable() = default;

unsigned int Drawable::draw(bool) { return 0; }

} // namespace engine
