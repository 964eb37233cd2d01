#include "MainViewController.h"

#include "GlItem.h"
#include "MainWindow.h"
#include "MainWindowController.h"
#include "SceneGraph.h"
#include "SceneTreeSelection.h"

#include <QEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

QWidget* createPane(QWidget* parent)
{
    QWidget* pane = new QWidget(parent);
    QVBoxLayout* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    return pane;
}

} // namespace

MainViewController::MainViewController(MainWindowController* controller)
    : QObject(nullptr)
    , m_controller(controller)
{
    MainWindow* window = m_controller->mainWindow();
    window->installEventFilter(this);

    m_mainSplitter = new QSplitter(Qt::Horizontal, window);
    QWidget* leftPane = createPane(m_mainSplitter);
    QWidget* rightPane = createPane(m_mainSplitter);
    QSplitter* leftSplitter = new QSplitter(Qt::Vertical, leftPane);
    m_rightSplitter = new QSplitter(Qt::Vertical);

    m_viewport = new GlItem(m_mainSplitter);
    m_viewport->setMinimumSize(viewportMinimumWidth, viewportMinimumHeight);
    connect(m_viewport, &GlItem::sceneLoaded, this, &MainViewController::sceneLoaded);
    connect(m_viewport, &GlItem::addItemToAnimations, this, &MainViewController::addItemToAnimations);
    connect(m_viewport, &GlItem::clearAnimationModel, this, &MainViewController::clearAnimationModel);

    m_sceneTree = new QTreeView(leftSplitter);
    m_sceneTree->setFocusPolicy(Qt::NoFocus);
    m_propertyTree = new QTreeView(leftSplitter);
    m_propertyTree->setFocusPolicy(Qt::NoFocus);
    // The animation list joins the right splitter with the viewer's panels.

    createSceneTree();
    createPropertyTree();

    leftSplitter->addWidget(m_sceneTree);
    leftSplitter->addWidget(m_propertyTree);
    leftPane->layout()->addWidget(leftSplitter);
    rightPane->layout()->addWidget(m_rightSplitter);

    m_mainSplitter->addWidget(leftPane);
    m_mainSplitter->addWidget(m_viewport);
    m_mainSplitter->addWidget(rightPane);
    m_mainSplitter->setSizes({leftPaneWidth, viewportWidth, 0});

    window->setCentralWidget(m_mainSplitter);
    window->setFocus(Qt::OtherFocusReason);
}

MainViewController::~MainViewController()
{
    // The widgets belong to the main window.
}

void MainViewController::createSceneTree()
{
    QStandardItemModel* model = new QStandardItemModel(m_sceneTree);
    model->setHorizontalHeaderLabels({tr("Scene")});
    m_sceneTree->setModel(model);
    m_sceneTree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_sceneTree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_sceneTree, &QWidget::customContextMenuRequested, this, &MainViewController::showContextMenu);
    m_sceneTree->installEventFilter(this);
}

void MainViewController::createPropertyTree()
{
    QStandardItemModel* model = new QStandardItemModel(m_propertyTree);
    model->setHorizontalHeaderLabels({tr("Properties")});
    m_propertyTree->setModel(model);
    m_propertyTree->setUniformRowHeights(false);
}

void MainViewController::clearView()
{
    m_sceneTree->collapseAll();
    m_viewport->clearScene();
    clearAnimationModel();
}

bool MainViewController::isModelNode(const QString& itemText) const
{
    // Answered by the current scene graph once it can tell which items name
    // a node with a model; until then nothing counts as one.
    Q_UNUSED(itemText);
    return false;
}

int MainViewController::copySelectedModelNodes()
{
    return SceneTreeSelection::copySelectedModelNodes(m_sceneTree,
                                                      [this](const QString& text) { return isModelNode(text); });
}

void MainViewController::selectAllModelNodes(QTreeView* view)
{
    SceneTreeSelection::selectAllModelNodes(view, [this](const QString& text) { return isModelNode(text); });
}

bool MainViewController::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        QKeyEvent* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & Qt::ControlModifier) {
            if (key->matches(QKeySequence::Copy)) {
                copySelectedModelNodes();
                return true;
            }
            if (key->matches(QKeySequence::SelectAll)) {
                m_sceneTree->clearSelection();
                selectAllModelNodes(m_sceneTree);
                return true;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

void MainViewController::addItemToAnimations(QString anim)
{
    Q_UNUSED(anim);
    m_mainSplitter->setSizes({leftPaneWidth, viewportWidth, animationPaneWidth});
}

void MainViewController::clearAnimationModel() { m_mainSplitter->setSizes({leftPaneWidth, viewportWidth, 0}); }

void MainViewController::sceneLoaded(engine::Scene* scene, uint vertexCount, uint meshCount)
{
    Q_UNUSED(scene);
    // The scene graph builds its trees from the scene here once it can.
    m_controller->setSceneStatistics(vertexCount, meshCount);
}

void MainViewController::newSceneGraphIsReadyToDisplay(SceneGraph* newSceneGraph,
                                                       const EncoderOutputLogs* encoderToolLogs)
{
    if (!newSceneGraph)
        return;
    // We own the scene graphs we are handed. Each new model replaces the one
    // before; keeping them all would grow with every open. The old one goes
    // once control is back in the event loop, so no caller still inside it
    // is cut short.
    if (m_sceneGraph && m_sceneGraph != newSceneGraph)
        m_sceneGraph->deleteLater();
    newSceneGraph->setParent(this);
    m_sceneGraph = newSceneGraph;
    const EncoderOutputLogs* viewerLogs = m_viewport->loadModel(newSceneGraph->modelPath(), newSceneGraph->version(),
                                                                newSceneGraph->format(), encoderToolLogs);
    if (viewerLogs && !viewerLogs->isEmpty())
        m_controller->forwardViewerLogs(*viewerLogs);
}

void MainViewController::updateSceneGraphView(QStandardItemModel* model)
{
    m_sceneTree->setModel(model);
    m_sceneTree->setAnimated(true);
    m_sceneTree->expandAll();
    m_sceneTree->resizeColumnToContents(0);
}

void MainViewController::selectionChangedSlot(const QItemSelection& selected, const QItemSelection& deselected)
{
    Q_UNUSED(selected);
    Q_UNUSED(deselected);
    // Only the current index counts, not the whole selection; its text goes
    // to the scene graph's selectNode once the scene graph can select.
}

void MainViewController::showContextMenu(const QPoint& pos)
{
    const QModelIndex index = m_sceneTree->indexAt(pos);
    if (!index.isValid())
        return;
    QMenu menu;
    QAction* copy = menu.addAction(tr("copy"));
    QAction* copyAll = menu.addAction(tr("copy all"));
    QAction* chosen = menu.exec(m_sceneTree->viewport()->mapToGlobal(pos));
    if (chosen == copy) {
        const QString text = index.data(Qt::DisplayRole).toString();
        if (isModelNode(text))
            SceneTreeSelection::copyText(text);
    } else if (chosen == copyAll) {
        copyAllNodesToClipboard();
    }
}

void MainViewController::copyAllNodesToClipboard()
{
    m_sceneTree->clearSelection();
    selectAllModelNodes(m_sceneTree);
    copySelectedModelNodes();
    m_sceneTree->clearSelection();
}

void MainViewController::previewBackgroundColor(const QColor& color) { m_viewport->setBackgroundColor(color); }
