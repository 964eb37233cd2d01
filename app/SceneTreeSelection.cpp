#include "SceneTreeSelection.h"

#include <QAbstractItemModel>
#include <QClipboard>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QTreeView>

namespace {

int selectSubtree(QTreeView* view, const QModelIndex& index, const SceneTreeSelection::IsModelNode& isModelNode)
{
    int selected = 0;
    if (isModelNode(index.data(Qt::DisplayRole).toString())) {
        view->selectionModel()->select(index, QItemSelectionModel::Select);
        ++selected;
    }
    const QAbstractItemModel* model = view->model();
    for (int row = 0; row < model->rowCount(index); ++row)
        selected += selectSubtree(view, model->index(row, 0, index), isModelNode);
    return selected;
}

} // namespace

int SceneTreeSelection::selectAllModelNodes(QTreeView* view, const IsModelNode& isModelNode)
{
    if (!view || !view->model() || !view->selectionModel() || !isModelNode)
        return 0;
    int selected = 0;
    const QAbstractItemModel* model = view->model();
    for (int row = 0; row < model->rowCount(); ++row)
        selected += selectSubtree(view, model->index(row, 0), isModelNode);
    return selected;
}

QStringList SceneTreeSelection::selectedModelNodeNames(QTreeView* view, const IsModelNode& isModelNode)
{
    QStringList names;
    if (!view || !view->selectionModel() || !isModelNode)
        return names;
    for (const QModelIndex& index : view->selectionModel()->selectedIndexes()) {
        const QString text = index.data(Qt::DisplayRole).toString();
        if (isModelNode(text))
            names.append(text);
    }
    return names;
}

int SceneTreeSelection::copySelectedModelNodes(QTreeView* view, const IsModelNode& isModelNode)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return 0;
    // Nothing to copy leaves what the user copied elsewhere in place.
    const QStringList names = selectedModelNodeNames(view, isModelNode);
    if (!names.isEmpty())
        clipboard->setText(names.join(QLatin1Char('\n')));
    return names.size();
}

QStringList SceneTreeSelection::allItemTexts(const QAbstractItemModel* model, const QModelIndex& parent)
{
    QStringList texts;
    for (int row = 0; model && row < model->rowCount(parent); ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        texts << index.data(Qt::DisplayRole).toString() << allItemTexts(model, index);
    }
    return texts;
}

QString SceneTreeSelection::propertyRowText(const QString& itemText)
{
    // The row shows the value below its label, indented.
    const QString label = itemText.section(QStringLiteral("\n    "), 0, 0);
    const QString value = itemText.section(QStringLiteral("\n    "), 1);
    return value.isEmpty() ? label : label + QStringLiteral(": ") + value;
}

void SceneTreeSelection::copyText(const QString& text)
{
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(text);
}
