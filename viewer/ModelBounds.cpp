#include "ModelBounds.h"

#include "Drawable.h"
#include "Mesh.h"
#include "MeshSkin.h"
#include "Model.h"
#include "Node.h"

#include <algorithm>
#include <cstring>

// A box grown point by point; the engine's box takes a single point for
// empty, which would lose a joint that moves one vertex.
struct ModelBounds::GrowingBox {
    engine::BoundingBox box;
    bool any = false;

    void add(const engine::Vector3& p)
    {
        if (any) {
            box.merge(p);
        } else {
            box.set(p, p);
            any = true;
        }
    }
    void add(const engine::BoundingBox& other)
    {
        add(other.min);
        add(other.max);
    }
};

namespace {

struct ElementAt {
    const engine::VertexFormat::Element* element = nullptr;
    unsigned int offset = 0;
};

ElementAt findElement(const engine::VertexFormat& format, engine::VertexFormat::Usage usage)
{
    ElementAt found;
    for (unsigned int i = 0; i < format.getElementCount(); ++i) {
        if (format.getElement(i).usage == usage) {
            found.element = &format.getElement(i);
            found.offset = format.getElementOffset(i);
            break;
        }
    }
    return found;
}

std::vector<engine::Vector3> cornersOf(const engine::BoundingBox& box, const engine::Matrix& placement)
{
    std::vector<engine::Vector3> corners;
    for (int corner = 0; corner < 8; ++corner) {
        const engine::Vector3 point((corner & 1) ? box.max.x : box.min.x, (corner & 2) ? box.max.y : box.min.y,
                                    (corner & 4) ? box.max.z : box.min.z);
        corners.push_back(placement.transformPoint(point));
    }
    return corners;
}

// A sphere around the vertices reaches every face of their box; one that
// does not (a damaged bundle) bounds nothing.
bool reachesEveryFace(const engine::BoundingSphere& sphere, const engine::BoundingBox& box)
{
    const engine::Vector3 low = sphere.center - engine::Vector3(sphere.radius, sphere.radius, sphere.radius);
    const engine::Vector3 high = sphere.center + engine::Vector3(sphere.radius, sphere.radius, sphere.radius);
    return low.x <= box.min.x && low.y <= box.min.y && low.z <= box.min.z && high.x >= box.max.x && high.y >= box.max.y
        && high.z >= box.max.z;
}

float floatAt(const unsigned char* vertex, unsigned int offset, unsigned int index)
{
    float value;
    std::memcpy(&value, vertex + offset + index * sizeof(float), sizeof(float));
    return value;
}

} // namespace

void ModelBounds::measureSkins(const engine::Node* root)
{
    m_skins.clear();
    if (root)
        measureSkinsBelow(root);
}

void ModelBounds::measureSkinsBelow(const engine::Node* node)
{
    const engine::Model* model = dynamic_cast<const engine::Model*>(node->getDrawable());
    const engine::MeshSkin* skin = model ? model->getSkin() : nullptr;
    const engine::Mesh* mesh = model ? model->getMesh() : nullptr;
    const auto* data = mesh ? static_cast<const unsigned char*>(mesh->getVertexData()) : nullptr;
    const engine::VertexFormat* format = mesh ? &mesh->getVertexFormat() : nullptr;
    const ElementAt position = format ? findElement(*format, engine::VertexFormat::POSITION) : ElementAt();
    const ElementAt weights = format ? findElement(*format, engine::VertexFormat::BLENDWEIGHTS) : ElementAt();
    const ElementAt indices = format ? findElement(*format, engine::VertexFormat::BLENDINDICES) : ElementAt();
    // Without the data (a mesh already uploaded) or the skinning elements the
    // whole mesh box stands for every joint, which is larger but still holds
    // the drawn pose.
    if (skin && data && position.element && position.element->size >= 3 && weights.element && indices.element) {
        const unsigned int influences = std::min(weights.element->size, indices.element->size);
        const unsigned int jointCount = skin->getJointCount();
        std::vector<GrowingBox> joints(jointCount);
        GrowingBox unmoved;
        const unsigned int stride = format->getVertexSize();
        for (unsigned int v = 0; v < mesh->getVertexCount(); ++v) {
            const unsigned char* vertex = data + size_t(v) * stride;
            const engine::Vector3 p(floatAt(vertex, position.offset, 0), floatAt(vertex, position.offset, 1),
                                    floatAt(vertex, position.offset, 2));
            bool moved = false;
            for (unsigned int i = 0; i < influences; ++i) {
                const float index = floatAt(vertex, indices.offset, i);
                if (!(floatAt(vertex, weights.offset, i) > 0.0f) || !(index >= 0.0f) || index >= float(jointCount))
                    continue;
                joints[size_t(index)].add(p);
                moved = true;
            }
            if (!moved)
                unmoved.add(p);
        }
        SkinBoxes& boxes = m_skins[model];
        for (const GrowingBox& joint : joints) {
            boxes.joints.push_back(joint.box);
            boxes.jointMovesVertices.push_back(joint.any);
        }
        boxes.unmoved = unmoved.box;
        boxes.anyUnmoved = unmoved.any;
    }
    for (const engine::Node* child = node->getFirstChild(); child; child = child->getNextSibling())
        measureSkinsBelow(child);
}

// Linear blend skinning puts every vertex inside the hull of its joints'
// transforms of it, so each joint's box under that joint's skin matrix,
// merged, holds the drawn mesh in its current pose (the node's own world
// matrix cancels out of the palette). Vertices that no joint moves are
// drawn where the node puts them.
engine::BoundingBox ModelBounds::meshBoxInWorld(const engine::Node* node) const
{
    const engine::Drawable* drawable = node->getDrawable();
    const engine::BoundingBox meshBox = drawable->meshBoundingBox();
    const engine::Model* model = dynamic_cast<const engine::Model*>(drawable);
    const engine::MeshSkin* skin = drawable->isSkinned() && model ? model->getSkin() : nullptr;
    if (!skin) {
        engine::BoundingBox box = meshBox;
        box.transform(node->getWorldMatrix());
        return box;
    }
    const auto measured = m_skins.find(model);
    GrowingBox posed;
    for (unsigned int i = 0; i < skin->getJointCount(); ++i) {
        const engine::Node* joint = skin->getJoint(i);
        const bool known = measured != m_skins.end() && i < measured->second.joints.size();
        if (!joint || (known && !measured->second.jointMovesVertices[i]))
            continue;
        engine::BoundingBox box = known ? measured->second.joints[i] : meshBox;
        box.transform(skin->jointPose(joint));
        posed.add(box);
    }
    if (measured != m_skins.end() && measured->second.anyUnmoved) {
        engine::BoundingBox box = measured->second.unmoved;
        box.transform(node->getWorldMatrix());
        posed.add(box);
    }
    if (!posed.any) {
        posed.box = meshBox;
        posed.box.transform(node->getBindWorldMatrix());
    }
    return posed.box;
}

void ModelBounds::mergeSubtree(const engine::Node* node, GrowingBox* box) const
{
    const engine::Drawable* drawable = node->getDrawable();
    if (drawable && drawable->hasMesh())
        box->add(meshBoxInWorld(node));
    for (const engine::Node* child = node->getFirstChild(); child; child = child->getNextSibling())
        mergeSubtree(child, box);
}

engine::BoundingBox ModelBounds::ofSubtree(const engine::Node* node) const
{
    GrowingBox box;
    if (node)
        mergeSubtree(node, &box);
    return box.box;
}

void ModelBounds::addHulls(const engine::Node* node, std::vector<Hull>* hulls) const
{
    const engine::Drawable* drawable = node->getDrawable();
    if (drawable && drawable->hasMesh()) {
        Hull hull;
        if (drawable->isSkinned()) {
            // The joints move the vertices: only the posed box is known.
            hull = hullOf(meshBoxInWorld(node));
        } else {
            const engine::BoundingBox box = drawable->meshBoundingBox();
            hull.corners = cornersOf(box, node->getWorldMatrix());
            engine::BoundingSphere sphere = drawable->meshBoundingSphere();
            if (reachesEveryFace(sphere, box)) {
                sphere.transform(node->getWorldMatrix());
                hull.center = sphere.center;
                hull.radius = sphere.radius;
            }
        }
        hulls->push_back(hull);
    }
    for (const engine::Node* child = node->getFirstChild(); child; child = child->getNextSibling())
        addHulls(child, hulls);
}

std::vector<ModelBounds::Hull> ModelBounds::hullsOfSubtree(const engine::Node* node) const
{
    std::vector<Hull> hulls;
    if (node)
        addHulls(node, &hulls);
    return hulls;
}

ModelBounds::Hull ModelBounds::hullOf(const engine::BoundingBox& box)
{
    Hull hull;
    hull.corners = cornersOf(box, engine::Matrix::identity());
    return hull;
}
