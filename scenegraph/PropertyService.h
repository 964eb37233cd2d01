#pragma once

#include <QCoreApplication>
#include <QMap>
#include <QPair>
#include <QString>
#include <QVector>

namespace engine {
class Camera;
class Light;
class Material;
class MaterialParameter;
class Model;
class Node;
class RenderState;
class Sampler;
} // namespace engine

// Turns what the engine knows about a node into label/value pairs for the
// "Properties" panel: its mesh and the materials of its parts with their
// texture settings, its light's type, placement and colour, its camera's
// projection.
class PropertyService {
    Q_DECLARE_TR_FUNCTIONS(PropertyService)
public:
    using Property = QPair<QString, QString>;
    // In the order shown.
    using PropertyList = QVector<Property>;
    // A material's rows, ordered by label; a later value under the same
    // label replaces the earlier.
    using MaterialRows = QMap<QString, QString>;
    static constexpr int kWholeNode = -1;

    // Texture paths below `modelFolder` are shown relative to it.
    explicit PropertyService(const QString& modelFolder);

    // `part` picks one mesh part of the node's model; `wholeNode` shows the
    // node itself.
    PropertyList nodeProperties(const engine::Node* node, int part = kWholeNode) const;
    PropertyList lightProperties(const engine::Light* light) const;
    PropertyList cameraProperties(const engine::Camera* camera) const;
    // The mesh with the names of its materials; a model that shows no part
    // items (one part or a shared material) also shows that material.
    PropertyList modelProperties(const engine::Model* model) const;
    // The material drawing one part, headed by its name.
    PropertyList partProperties(const engine::Model* model, unsigned int part) const;
    MaterialRows materialRows(const engine::Material* material) const;

    // The label shown for an engine parameter or sampler setting; empty for
    // names the panel does not show.
    static QString displayName(const char* name);

private:
    void appendMaterial(const engine::Material* material, PropertyList* properties) const;
    void collectParameters(const engine::RenderState* state, MaterialRows* rows) const;
    void collectParameter(const engine::MaterialParameter* parameter, MaterialRows* rows) const;
    void collectTexture(const engine::Sampler* sampler, MaterialRows* rows) const;
    QString shownTexturePath(const QString& path) const;
    static QString lightTypeName(int type);
    static QString materialName(const engine::Material* material);
    static QVector<const engine::Material*> drawnMaterials(const engine::Model* model);

    QString m_modelFolder;
};
