#pragma once

#include <QObject>
#include <QString>

class PropertyService;
class QStandardItem;
class QStandardItemModel;

namespace engine {
class Node;
class Scene;
} // namespace engine

// One loaded model as the panels see it: where its bundle lies, which
// container version and format it came with, the "Scene" tree of its nodes
// and the "Properties" list of the node selected in that tree.
class SceneGraph : public QObject {
    Q_OBJECT
public:
    static const char* const kRootNodeId;

    SceneGraph(const QString& modelPath, const QString& version, int format, QObject* parent = nullptr);
    ~SceneGraph() override;

    QString modelPath() const { return m_modelPath; }
    QString version() const { return m_version; }
    int format() const { return m_format; }
    QStandardItemModel* sceneModel() const { return m_sceneModel; }
    QStandardItemModel* propertiesModel() const { return m_propertiesModel; }

    // The scene stays the viewer's; it must outlive its use here.
    void setScene(engine::Scene* scene);
    // The folder the model's files lie in; texture paths below it are shown
    // relative to it.
    void setModelFolder(const QString& folder) { m_modelFolder = folder; }

    void build();
    void clearSceneModel();
    void selectNode(const QString& itemText);
    // Whether the item text names a node of the model that draws a mesh (a
    // mesh part's text names its node).
    bool isMeshItem(const QString& itemText) const;

signals:
    void updateSceneGraphView(QStandardItemModel* model);
    void updatePropertiesView(QStandardItemModel* model);
    void nodeSelected(engine::Node* node);

private:
    engine::Node* modelRoot() const;
    engine::Node* findItemNode(const QString& itemText, int* part = nullptr) const;
    void addNodes(engine::Node* first, QStandardItem* parent);
    void showProperties(engine::Node* node, int part);

    PropertyService* m_propertyService = nullptr;
    engine::Scene* m_scene = nullptr;
    QString m_modelPath;
    QString m_version;
    int m_format;
    QString m_modelFolder;
    QStandardItemModel* m_sceneModel;
    QStandardItemModel* m_propertiesModel;
};
