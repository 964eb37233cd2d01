#pragma once

#include <QCoreApplication>
#include <QMap>
#include <QString>

namespace engine {
class Light;
class Node;
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

private:
    QString m_modelFolder;
};
