#include "Joint.h"

#include "MeshSkin.h"

#include <algorithm>

namespace engine {

Joint* Joint::create(const char* id) { return new Joint(id); }

Joint::Joint(const char* id)
    : Node(id)
{
}

Joint::~Joint()
{
    // The skin clears its slots, which calls removeSkin; work on a copy.
    const std::vector<MeshSkin*> skins = m_skins;
    for (MeshSkin* skin : skins)
        skin->jointDestroyed(this);
}

void Joint::addSkin(MeshSkin* skin)
{
    if (skin && std::find(m_skins.begin(), m_skins.end(), skin) == m_skins.end())
        m_skins.push_back(skin);
}

void Joint::removeSkin(MeshSkin* skin)
{
    m_skins.erase(std::remove(m_skins.begin(), m_skins.end(), skin), m_skins.end());
}

} // namespace engine
