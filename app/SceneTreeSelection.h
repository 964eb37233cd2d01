#pragma once

#include <QStringList>

#include <functional>

class QAbstractItemModel;
class QModelIndex;
class QStandardItem;
class QTreeView;

// Selecting and copying the names of model nodes in the scene tree. A model
// node is an item whose text the given predicate accepts (the current scene
// graph knows which items name a node with a model).
class SceneTreeSelection {
public:
    using IsModelNode = std::function<bool(const QString& itemText)>;

    // Selects every model node of the view's model, depth first, column 0.
    // Returns how many items were selected.
    static int selectAllModelNodes(QTreeView* view, const IsModelNode& isModelNode);

    // The texts of the selected model nodes, in the order the selection
    // model lists them.
    static QStringList selectedModelNodeNames(QTreeView* view, const IsModelNode& isModelNode);

    // Replaces the clipboard text with the selected model node names, one per
    // line. Returns how many names were copied; with none, or without a
    // clipboard, the clipboard stays as it was.
    static int copySelectedModelNodes(QTreeView* view, const IsModelNode& isModelNode);

    // Every item's text in column 0, depth first, in row order: what "Copy
    // All" copies, whatever kind of node an item names.
    static QStringList allItemTexts(const QAbstractItemModel* model, const QModelIndex& parent);

    // A property row as it is copied: "Label: value", or the label alone.
    static QString propertyRowText(const QString& itemText);

    // Puts the text on the clipboard, when there is one.
    static void copyText(const QString& text);
};
