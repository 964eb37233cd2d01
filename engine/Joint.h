#ifndef ENGINE_JOINT_H
#define ENGINE_JOINT_H

#include "engine/Node.h"

#include <vector>

namespace engine {

class MeshSkin;

// A node that knows the skins it deforms.
class Joint : public Node
{
public:
    static Joint* create(const char* id = nullptr);

    Type getType() const override { return JOINT; }

    // Registration by the skins themselves; a skin is listed once.
    void addSkin(MeshSkin* skin);
    void removeSkin(MeshSkin* skin);
    const std::vector<MeshSkin*>& getSkins() const { return _skins; }

protected:
    explicit Joint(const char* id);
    ~Joint() override = default;

private:
    std::vector<MeshSkin*> _skins;
};

} // namespace engine

#endif
