#pragma once

#include "Node.h"

namespace engine {

// A node that a skeleton animates (a bone).
class Joint : public Node {
public:
    static Joint* create(const char* id = nullptr);

    Type getType() const override { return JOINT; }

protected:
    explicit Joint(const char* id);
    ~Joint() override = default;
};

} // namespace engine
