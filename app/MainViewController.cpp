#include "MainViewController.h"

#include "AnimationListWidget.h"
#include "AnimationTimeline.h"
#include "GlItem.h"
#include "MainWindow.h"
#include "MainWindowController.h"
#include "ModelFileTypes.h"
#include "ModelStatistics.h"
#include "SceneGraph.h"
#include "SceneTreeSelection.h"
#include "WorkspaceService.h"

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

// The view makes a new selection model for every model it is given and
// leaves the old one to us.
void replaceModel(QTreeView* view, QAbstractItemModel* model)
{
    QItemSelectionModel* oldSelection = view->selectionModel();
    view->setModel(model);
    delete oldSelection;
}

// The viewer draws from the current workspace; its folders change with every
// model opened.
ViewerFolders viewerFoldersOf(const WorkspaceService& workspace)
{
    return ViewerFolders {workspace.applicationParentFolder(), workspace.modelFolder(), workspace.metaFolder()};
}

} // namespace

MainViewController::MainViewController(MainWindowController* controller, const QColor& backgroundColor)
    : QObject(controller)
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
    m_viewport->setMinimumSize(kViewportMinimumWidth, kViewportMinimumHeight);
    m_viewport->setFolders(viewerFoldersOf(m_controller->workspaces()));
    m_viewport->setAcceptedSuffixes(ModelFileTypes::suffixes());
    m_viewport->setClearColor(backgroundColor);
    connect(m_viewport, &GlItem::addItemToAnimations, this, &MainViewController::addItemToAnimations);
    connect(m_viewport, &GlItem::clearAnimationModel, this, &MainViewController::clearAnimationModel);

    m_sceneTree = new QTreeView(leftSplitter);
    m_sceneTree->setObjectName(QStringLiteral("sceneTree"));
    m_sceneTree->setFocusPolicy(Qt::NoFocus);
    m_propertyTree = new QTreeView(leftSplitter);
    m_propertyTree->setObjectName(QStringLiteral("propertyTree"));
    m_propertyTree->setFocusPolicy(Qt::NoFocus);
    m_animationList = new AnimationListWidget(m_rightSplitter, this);
    m_timeline = new AnimationTimeline(m_rightSplitter, this);
    connectAnimationList();

    createSceneTree();
    createPropertyTree();

    leftSplitter->addWidget(m_sceneTree);
    leftSplitter->addWidget(m_propertyTree);
    leftPane->layout()->addWidget(leftSplitter);
    m_rightSplitter->addWidget(m_animationList);
    m_rightSplitter->addWidget(m_timeline);
    rightPane->layout()->addWidget(m_rightSplitter);

    m_mainSplitter->addWidget(leftPane);
    m_mainSplitter->addWidget(m_viewport);
    m_mainSplitter->addWidget(rightPane);
    m_mainSplitter->setSizes({kLeftPaneWidth, kViewportWidth, 0});

    window->setCentralWidget(m_mainSplitter);
    window->setFocus(Qt::OtherFocusReason);
}

void MainViewController::connectAnimationList()
{
    connect(m_viewport, &GlItem::addItemToAnimations, m_animationList, &AnimationListWidget::addItemToAnimations);
    connect(m_viewport, &GlItem::clearAnimationModel, m_animationList, &AnimationListWidget::clearAnimationModel);
    connect(m_viewport, &GlItem::animationStartedPlaying, m_animationList,
            &AnimationListWidget::animationStartedPlaying);
    connect(m_viewport, &GlItem::animationFinishedPlaying, m_animationList,
            &AnimationListWidget::animationFinishedPlaying);
    connect(m_viewport, &GlItem::updateElaspedTimeOfAnimation, m_animationList,
            &AnimationListWidget::updateElaspedTimeOfAnimation);

    connect(m_viewport, &GlItem::addItemToAnimations, m_timeline, &AnimationTimeline::addClip);
    connect(m_viewport, &GlItem::clearAnimationModel, m_timeline, &AnimationTimeline::clearClips);
    connect(m_viewport, &GlItem::animationStartedPlaying, m_timeline, &AnimationTimeline::clipStarted);
    connect(m_viewport, &GlItem::animationFinishedPlaying, m_timeline, &AnimationTimeline::clipFinished);
    connect(m_viewport, &GlItem::updateElaspedTimeOfAnimation, m_timeline, &AnimationTimeline::clipAdvanced);
    // Both show whether a clip plays, whichever of them started or paused it.
    connect(m_animationList, &AnimationListWidget::clipPlayingChanged, m_timeline, &AnimationTimeline::showClipPlaying);
    connect(m_timeline, &AnimationTimeline::clipPlayingChanged, m_animationList, &AnimationListWidget::showClipPlaying);
    connect(m_viewport, &GlItem::animationStartedPlaying, this, [this](const QString& id) { m_playingClip = id; });
    connect(m_viewport, &GlItem::animationFinishedPlaying, this, [this](const QString& id) {
        if (id == m_playingClip)
            m_playingClip.clear();
    });
    connect(m_viewport, &GlItem::clearAnimationModel, this, [this]() { m_playingClip.clear(); });
    connect(m_timeline, &AnimationTimeline::clipSought, m_animationList,
            &AnimationListWidget::updateElaspedTimeOfAnimation);
    connect(m_viewport, &GlItem::playPauseRequested, m_timeline, &AnimationTimeline::togglePlaying);
    connect(m_viewport, &GlItem::frameStepRequested, m_timeline, &AnimationTimeline::stepFrames);
}

MainViewController::ViewState MainViewController::viewState() const
{
    ViewState state;
    for (QModelIndex index = m_sceneTree->currentIndex(); index.isValid(); index = index.parent())
        state.selectedPath.prepend(index.data(Qt::DisplayRole).toString());
    state.playingClip = m_playingClip;
    state.timeline = m_timeline->shown();
    return state;
}

void MainViewController::restoreViewState(const ViewState& state)
{
    QAbstractItemModel* model = m_sceneTree->model();
    QModelIndex found;
    for (const QString& name : state.selectedPath) {
        const QModelIndexList matches = model
            ? model->match(model->index(0, 0, found), Qt::DisplayRole, name, 1, Qt::MatchExactly)
            : QModelIndexList();
        if (matches.isEmpty()) {
            found = QModelIndex();
            break;
        }
        found = matches.first();
    }
    if (found.isValid())
        m_sceneTree->setCurrentIndex(found);
    m_timeline->restore(state.timeline);
    if (!state.playingClip.isEmpty() && state.playingClip != state.timeline.clip)
        m_viewport->playAnimation(state.playingClip);
}

bool MainViewController::playAnimation(const QString& id) { return m_viewport->playAnimation(id); }

bool MainViewController::pauseAnimation(const QString& id) { return m_viewport->pauseAnimation(id); }

bool MainViewController::stopAnimation(const QString& id) { return m_viewport->stopAnimation(id); }

bool MainViewController::seekAnimation(const QString& id, float milliseconds)
{
    return m_viewport->seekAnimation(id, milliseconds);
}

bool MainViewController::setAnimationLooping(const QString& id, bool looping)
{
    return m_viewport->setAnimationLooping(id, looping);
}

float MainViewController::animationLength(const QString& id) const { return m_viewport->animationLength(id); }

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
    // Rows can be selected and copied: by the context menu, or with Ctrl+C
    // once the tree has been clicked.
    m_propertyTree->setFocusPolicy(Qt::ClickFocus);
    m_propertyTree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_propertyTree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_propertyTree, &QWidget::customContextMenuRequested, this, &MainViewController::showPropertyContextMenu);
    m_propertyTree->installEventFilter(this);
}

void MainViewController::showPropertyContextMenu(const QPoint& pos)
{
    QMenu menu;
    QAction* copy = menu.addAction(tr("Copy"));
    copy->setEnabled(m_propertyTree->selectionModel()->hasSelection());
    QAction* copyAll = menu.addAction(tr("Copy All"));
    QAction* chosen = menu.exec(m_propertyTree->viewport()->mapToGlobal(pos));
    if (chosen)
        copyPropertyRows(chosen == copyAll);
}

void MainViewController::copyPropertyRows(bool all)
{
    QStringList rows;
    const QStringList texts = SceneTreeSelection::allItemTexts(m_propertyTree->model(), QModelIndex());
    const QModelIndexList selected = m_propertyTree->selectionModel()->selectedRows();
    for (int row = 0; row < texts.size(); ++row) {
        if (all || selected.contains(m_propertyTree->model()->index(row, 0)))
            rows << SceneTreeSelection::propertyRowText(texts.at(row));
    }
    if (!rows.isEmpty())
        SceneTreeSelection::copyText(rows.join(QLatin1Char('\n')));
}

void MainViewController::clearView()
{
    m_sceneTree->collapseAll();
    m_viewport->clearScene();
    m_animationList->clearAnimationModel();
    m_timeline->clearClips();
    clearAnimationModel();
}

bool MainViewController::isModelNode(const QString& itemText) const
{
    return m_sceneGraph && m_sceneGraph->isMeshItem(itemText);
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
        if (watched == m_propertyTree) {
            if (key->matches(QKeySequence::Copy)) {
                copyPropertyRows(false);
                return true;
            }
        } else if (watched == m_controller->mainWindow() && m_viewport->handleViewKey(key)) {
            // Keys no widget of the window took go to the viewport.
            return true;
        } else if (key->modifiers() & Qt::ControlModifier) {
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
    m_mainSplitter->setSizes({kLeftPaneWidth, kViewportWidth, kAnimationPaneWidth});
}

void MainViewController::clearAnimationModel() { m_mainSplitter->setSizes({kLeftPaneWidth, kViewportWidth, 0}); }

void MainViewController::showScene(const LoadResult& loaded)
{
    m_sceneGraph->setScene(loaded.scene);
    m_sceneGraph->build();
    const ModelStatistics::Counts counts = ModelStatistics::of(loaded.scene);
    if (counts.found)
        m_controller->setSceneStatistics(counts.vertices, counts.meshes);
    else
        m_controller->setSceneStatistics(loaded.vertexCount, loaded.meshCount);
    showPropertiesModel(m_sceneGraph->propertiesModel());
}

LoadResult MainViewController::newSceneGraphIsReadyToDisplay(SceneGraph* newSceneGraph, OnRefusal onRefusal)
{
    newSceneGraph->setParent(this);
    newSceneGraph->setModelFolder(m_controller->workspaces().paths().model);
    m_viewport->setFolders(viewerFoldersOf(m_controller->workspaces()));
    const LoadResult loaded = m_viewport->loadModel();
    if (!loaded.records.isEmpty())
        m_controller->forwardViewerLogs(loaded.records);
    if (loaded.shown()) {
        showSceneGraph(newSceneGraph);
        showScene(loaded);
        return loaded;
    }
    if (onRefusal == OnRefusal::KeepShownModel || loaded.outcome == LoadResult::Outcome::Failed) {
        newSceneGraph->deleteLater();
        return loaded;
    }
    // The viewer keeps the model it had; a reopen with other options that
    // failed must not leave it beside the empty trees.
    clearView();
    showSceneGraph(newSceneGraph);
    return loaded;
}

void MainViewController::showSceneGraph(SceneGraph* sceneGraph)
{
    // We own the scene graphs we are handed. Each new model replaces the one
    // before; keeping them all would grow with every open. The old one goes
    // once control is back in the event loop, so no caller still inside it
    // is cut short; the trees let go of its models first.
    if (m_sceneGraph && m_sceneGraph != sceneGraph) {
        disconnect(m_sceneGraph, nullptr, nullptr, nullptr);
        m_sceneGraph->deleteLater();
    }
    m_sceneGraph = sceneGraph;
    connect(m_sceneGraph, &SceneGraph::updateSceneGraphView, this, &MainViewController::updateSceneGraphView);
    updateSceneGraphView(m_sceneGraph->sceneModel());
    showPropertiesModel(m_sceneGraph->propertiesModel());
    connect(m_sceneGraph, &SceneGraph::nodeSelected, m_viewport, &GlItem::setSelectedObject);
}

void MainViewController::clearSceneTree()
{
    if (m_sceneGraph)
        m_sceneGraph->clearSceneModel();
}

void MainViewController::updateSceneGraphView(QStandardItemModel* model)
{
    if (m_sceneTree->model() != model) {
        replaceModel(m_sceneTree, model);
        connect(m_sceneTree->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                &MainViewController::selectionChangedSlot);
    }
    m_sceneTree->setAnimated(true);
    m_sceneTree->expandAll();
    m_sceneTree->resizeColumnToContents(0);
}

void MainViewController::showPropertiesModel(QStandardItemModel* model)
{
    if (m_propertyTree->model() != model)
        replaceModel(m_propertyTree, model);
    m_propertyTree->setAnimated(true);
    m_propertyTree->expandAll();
    for (int column = 0; column < model->columnCount(); ++column)
        m_propertyTree->resizeColumnToContents(column);
}

void MainViewController::selectionChangedSlot(const QItemSelection& selected, const QItemSelection& deselected)
{
    Q_UNUSED(selected);
    Q_UNUSED(deselected);
    // Only the current index counts, not the whole selection.
    if (m_sceneGraph)
        m_sceneGraph->selectNode(m_sceneTree->currentIndex().data(Qt::DisplayRole).toString());
}

void MainViewController::showContextMenu(const QPoint& pos)
{
    const QModelIndex index = m_sceneTree->indexAt(pos);
    if (!index.isValid())
        return;
    QMenu menu;
    QAction* copy = menu.addAction(tr("Copy"));
    QAction* copyAll = menu.addAction(tr("Copy All"));
    QAction* chosen = menu.exec(m_sceneTree->viewport()->mapToGlobal(pos));
    if (chosen == copy) {
        SceneTreeSelection::copyText(index.data(Qt::DisplayRole).toString());
    } else if (chosen == copyAll) {
        copyAllNodesToClipboard();
    }
}

// Every node the tree lists, of whatever kind (groups, armatures, cameras,
// lights, models and their parts), names as they are written.
void MainViewController::copyAllNodesToClipboard()
{
    const QStringList names = SceneTreeSelection::allItemTexts(m_sceneTree->model(), QModelIndex());
    if (!names.isEmpty())
        SceneTreeSelection::copyText(names.join(QLatin1Char('\n')));
}

void MainViewController::previewBackgroundColor(const QColor& color) { m_viewport->setBackgroundColor(color); }
