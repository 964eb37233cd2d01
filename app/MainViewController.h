#pragma once

#include "AnimationPlayback.h"
#include "AnimationTimeline.h"
#include "LoadResult.h"

#include <QColor>
#include <QItemSelection>
#include <QObject>
#include <QPoint>

class AnimationListWidget;
class AnimationTimeline;
class GlItem;
class MainWindowController;
class QSplitter;
class QStandardItemModel;
class QTreeView;
class QWidget;
class SceneGraph;

namespace engine {
class Scene;
}

// Builds the central area of the main window: scene tree and property tree
// on the left, the viewport in the middle, the animation list on the right
// (collapsed until a model with animations arrives). Handles the scene tree's
// selection, context menu and clipboard keys.
class MainViewController : public QObject, private AnimationPlayback {
    Q_OBJECT
public:
    static constexpr int kLeftPaneWidth = 230;
    static constexpr int kViewportWidth = 800;
    static constexpr int kAnimationPaneWidth = 230;
    static constexpr int kViewportMinimumWidth = 500;
    static constexpr int kViewportMinimumHeight = 400;

    // What the views show when the viewport refuses a new model (a bundle
    // without a model): nothing of the last one (an open), or the last one as
    // it is (a reload). A model that failed to load leaves the last one shown.
    enum class OnRefusal { ShowNothing, KeepShownModel };

    // The viewport starts with the given background colour.
    MainViewController(MainWindowController* controller, const QColor& backgroundColor);
    ~MainViewController() override;

    GlItem* viewport() const { return m_viewport; }

    // What a reload of the same model keeps: the node selected in the scene
    // tree (its path of names from the top), the clip that plays and the
    // time line's clip, time, play state and looping.
    struct ViewState {
        QStringList selectedPath;
        QString playingClip;
        AnimationTimeline::Shown timeline;
    };
    ViewState viewState() const;
    // After the reloaded model's tree is built; names that are gone are skipped.
    void restoreViewState(const ViewState& state);

    // Has the viewport load the model of the current workspace; the scene
    // graph's trees take the place of the shown ones when it shows, or when
    // the refusal asks to show nothing. The viewer's findings go to the log.
    LoadResult newSceneGraphIsReadyToDisplay(SceneGraph* newSceneGraph, OnRefusal onRefusal = OnRefusal::ShowNothing);
    void clearView();
    // Empties the current scene graph's tree before the next model comes.
    void clearSceneTree();
    int copySelectedModelNodes();
    void selectAllModelNodes(QTreeView* view);
    bool isModelNode(const QString& itemText) const;

    bool eventFilter(QObject* watched, QEvent* event) override;

public slots:
    void addItemToAnimations(QString anim);
    void clearAnimationModel();
    void updateSceneGraphView(QStandardItemModel* model);
    void selectionChangedSlot(const QItemSelection& selected, const QItemSelection& deselected);
    void showContextMenu(const QPoint& pos);
    void copyAllNodesToClipboard();
    // Copies the selected property rows, or all of them, one "Label: value" a line.
    void copyPropertyRows(bool all);
    // The preferences window previews its colour live in the viewport.
    void previewBackgroundColor(const QColor& color);

private:
    void createSceneTree();
    void connectAnimationList();
    bool playAnimation(const QString& id) override;
    bool pauseAnimation(const QString& id) override;
    bool stopAnimation(const QString& id) override;
    bool seekAnimation(const QString& id, float milliseconds) override;
    bool setAnimationLooping(const QString& id, bool looping) override;
    float animationLength(const QString& id) const override;
    void createPropertyTree();
    void showPropertyContextMenu(const QPoint& pos);
    void showPropertiesModel(QStandardItemModel* model);
    void showSceneGraph(SceneGraph* sceneGraph);
    void showScene(const LoadResult& loaded);

    MainWindowController* m_controller;
    QString m_playingClip; // the clip that plays, empty when none
    QTreeView* m_sceneTree = nullptr;
    QTreeView* m_propertyTree = nullptr;
    GlItem* m_viewport = nullptr;
    SceneGraph* m_sceneGraph = nullptr;
    QSplitter* m_mainSplitter = nullptr;
    QSplitter* m_rightSplitter = nullptr;
    AnimationListWidget* m_animationList = nullptr;
    AnimationTimeline* m_timeline = nullptr;
};
