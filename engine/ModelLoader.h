#pragma once

#include "BundleProblem.h"
#include "math/Vector3.h"

namespace engine {

class Node;

// The one way the application turns a converted model into a scene graph:
// 'path' is a workspace model folder (holding "model.gpb", and optionally
// "model.material", "model.scene" and "model.animation") or a ".gpb" file.
// Returns a new node with id 'rootId' (null: "_ROOT_NODE_") holding every
// top-level node of the model, with lights bound to the materials that ask
// for them and the clips of "model.animation" defined; the caller owns the
// reference. Null when nothing could be loaded. Names the model's files give
// are relative to its folder. Materials are created, so a context must be
// current.
// 'problemsOut' receives what the load left out and why.
Node* loadModelRoot(const char* path, const char* rootId = nullptr, Vector3* ambientColorOut = nullptr,
                    BundleProblems* problemsOut = nullptr);

} // namespace engine
