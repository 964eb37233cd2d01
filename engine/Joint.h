#pragma once

#include "Node.h"

#include <vector>

namespace engine {

class MeshSkin;

// A node that a skeleton animates (a bone). It knows the skins that use it,
// so that a shared joint is recomputed for each and skins forget it when it
// goes away.
class Joint : public Node {
public:
    static Joint* create(const char* id = nullptr);

    Type getType() const override { return JOINT; }

    unsigned int getSkinCount() const { return static_cast<unsigned int>(m_skins.size()); }
    void addSkin(MeshSkin* skin);
    void removeSkin(MeshSkin* skin);

protected:
    explicit Joint(const char* id);
    ~Joint() override;

private:
    std::vector<MeshSkin*> m_skins;
};

} // namespace engine
