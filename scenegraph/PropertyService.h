#pragma once

#include <QCoreApplication>
#include <QMap>
#include <QString>

namespace engine {
class Light;
class Material;
class MaterialParameter;
class Model;
class Node;
class RenderState;
class Sampler;
} // namespace engine

// Turns what the engine knows about a node into label/value pairs for the
// "Properties" panel: the parameters of its model's materials with their
// texture settings, or its light's type, geometry and colour.
class PropertyService {
    Q_DECLARE_TR_FUNCTIONS(PropertyService)
public:
    // Ordered by label; a later value under the same label replaces the earlier.
    using PropertyList = QMap<QString, QString>;

    // Texture paths below `modelFolder` are shown relative to it.
    explicit PropertyService(const QString& modelFolder);

    PropertyList nodeProperties(const engine::Node* node) const;
    PropertyList lightProperties(const engine::Light* light) const;
    PropertyList modelProperties(const engine::Model* model) const;

    // The label shown for an engine parameter or sampler setting; empty for
    // names the panel does not show.
    static QString displayName(const char* name);

private:
    void collectMaterial(const engine::Material* material, PropertyList* properties) const;
    void collectParameters(const engine::RenderState* state, PropertyList* properties) const;
    void collectParameter(const engine::MaterialParameter* parameter, PropertyList* properties) const;
    void collectTexture(const engine::Sampler* sampler, PropertyList* properties) const;
    QString shownTexturePath(const QString& path) const;

    QString m_modelFolder;
};
