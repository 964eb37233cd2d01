#include "engine/Joint.h"

#include <algorithm>

namespace engine {

Joint* Joint::create(const char* id)
{
    return new Joint(id);
}

Joint::Joint(const char* id)
    : Node(id)
{
}

void Joint::addSkin(MeshSkin* skin)
{
    if (skin && std::find(_skins.begin(), _skins.end(), skin) == _skins.end())
        _skins.push_back(skin);
}

void Joint::removeSkin(MeshSkin* skin)
{
    _skins.erase(std::remove(_skins.begin(), _skins.end(), skin), _skins.end());
}

} // namespace engine
