#pragma once

#include <QString>

#include <vector>

namespace engine {
class Model;
}

// The reference grid on the ground plane: one line every unit, a lighter
// one every ten, the X axis red and the Z axis blue.
class Grid {
public:
    static const int kFloatsPerVertex = 6; // position, colour

    // Two segments per step, two vertices each, for lineCount steps (made
    // odd, so that a line runs through the origin).
    static std::vector<float> lineVertices(int lineCount);

    // Draws through "grid.material" in the given res folder; needs a current
    // context. Null when the material cannot be made.
    static engine::Model* createGridModel(int lineCount, const QString& resFolder);
};
