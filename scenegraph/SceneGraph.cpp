#include "SceneGraph.h"

#include "Drawable.h"
#include "Node.h"
#include "PropertyService.h"
#include "Scene.h"

#include <QIcon>
#include <QRegularExpression>
#include <QStandardItem>
#include <QStandardItemModel>

const char* const SceneGraph::kRootNodeId = "RootSceneNode";

namespace {

QString nodeId(const engine::Node* node) { return QString::fromUtf8(node->getId()); }

bool holdsJoints(const engine::Node* node)
{
    for (const engine::Node* child = node->getFirstChild(); child; child = child->getNextSibling()) {
        if (child->getType() == engine::Node::JOINT)
            return true;
    }
    return false;
}

// Every item says what its node is; the joints below a skeleton's root are
// not listed, so the root stands for them.
QIcon nodeIcon(const engine::Node* node)
{
    if (node->getLight())
        return QIcon(QStringLiteral(":/IconSGLight"));
    if (node->getCamera())
        return QIcon(QStringLiteral(":/IconSGCam"));
    if (node->getDrawable())
        return QIcon(QStringLiteral(":/IconSGMesh"));
    if (holdsJoints(node))
        return QIcon(QStringLiteral(":/IconSGJoint"));
    return QIcon(QStringLiteral(":/IconSGEmpty"));
}

QStandardItem* createItem(const QIcon& icon, const QString& text)
{
    QStandardItem* item = new QStandardItem(icon, text);
    item->setEditable(false);
    return item;
}

QString meshPartText(const QString& id, unsigned int part)
{
    return id + QLatin1Char('[') + QString::number(part) + QLatin1Char(']');
}

} // namespace

SceneGraph::SceneGraph(const QString& modelPath, const QString& version, int format, QObject* parent)
    : QObject(parent)
    , m_modelPath(modelPath)
    , m_version(version)
    , m_format(format)
    , m_sceneModel(new QStandardItemModel())
    , m_propertiesModel(new QStandardItemModel())
{
    m_sceneModel->setHorizontalHeaderLabels({tr("Scene")});
    m_propertiesModel->setHorizontalHeaderLabels({tr("Properties")});
}

SceneGraph::~SceneGraph()
{
    delete m_propertyService;
    delete m_sceneModel;
    delete m_propertiesModel;
}

void SceneGraph::setScene(engine::Scene* scene) { m_scene = scene; }

void SceneGraph::build()
{
    delete m_propertyService;
    m_propertyService = new PropertyService(m_modelFolder);
    clearSceneModel();
    m_sceneModel->setColumnCount(1);
    if (engine::Node* root = modelRoot())
        addNodes(root->getFirstChild(), m_sceneModel->invisibleRootItem());
    emit updateSceneGraphView(m_sceneModel);
}

void SceneGraph::clearSceneModel() { m_sceneModel->removeRows(0, m_sceneModel->rowCount()); }

// Only the model's own nodes: the viewer keeps its camera, grid and
// selection box beside the model's root.
engine::Node* SceneGraph::modelRoot() const { return m_scene ? m_scene->findNode(kRootNodeId) : nullptr; }

void SceneGraph::addNodes(engine::Node* first, QStandardItem* parent)
{
    for (engine::Node* node = first; node; node = node->getNextSibling()) {
        if (node->getType() == engine::Node::JOINT)
            continue; // bones with all below them
        const QIcon icon = nodeIcon(node);
        const QString id = nodeId(node);
        QStandardItem* item = createItem(icon, id);
        parent->appendRow(item);
        const engine::Drawable* drawable = node->getDrawable();
        const unsigned int parts = drawable ? drawable->meshPartCount() : 0;
        if (parts > 1) {
            for (unsigned int part = 0; part < parts; ++part)
                item->appendRow(createItem(icon, meshPartText(id, part)));
        }
        addNodes(node->getFirstChild(), item);
    }
}

// Names are looked up whole and exactly below the model's root: a name that
// begins like another ("wheel", "wheel_L") or holds brackets of its own
// still finds its node. Only when no node has the whole text is a trailing
// part index ("[2]") taken off; `part` then tells which part it named.
engine::Node* SceneGraph::findItemNode(const QString& itemText, int* part) const
{
    if (part)
        *part = PropertyService::kWholeNode;
    engine::Node* root = modelRoot();
    if (!root || itemText.isEmpty())
        return nullptr;
    if (engine::Node* node = root->findNode(itemText.toUtf8().constData()))
        return node;
    static const QRegularExpression kPartSuffix(QStringLiteral("^(.+)\\[(\\d+)\\]$"));
    const QRegularExpressionMatch match = kPartSuffix.match(itemText);
    if (!match.hasMatch())
        return nullptr;
    engine::Node* node = root->findNode(match.captured(1).toUtf8().constData());
    if (node && part)
        *part = match.captured(2).toInt();
    return node;
}

bool SceneGraph::isMeshItem(const QString& itemText) const
{
    const engine::Node* node = findItemNode(itemText);
    return node && node->getDrawable();
}

void SceneGraph::selectNode(const QString& itemText)
{
    m_propertiesModel->removeRows(0, m_propertiesModel->rowCount());
    int part = PropertyService::kWholeNode;
    engine::Node* node = findItemNode(itemText, &part);
    if (node)
        showProperties(node, part);
    emit nodeSelected(node);
}

void SceneGraph::showProperties(engine::Node* node, int part)
{
    PropertyService::PropertyList properties;
    if (m_propertyService)
        properties = m_propertyService->nodeProperties(node, part);
    int row = 0;
    for (const PropertyService::Property& property : properties)
        m_propertiesModel->setItem(row++, 0,
                                   createItem(QIcon(), property.first + QStringLiteral("\n    ") + property.second));
    emit updatePropertiesView(m_propertiesModel);
}
