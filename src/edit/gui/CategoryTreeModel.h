// The category tree as a Qt item model: every node is a line of the tree (edit/CategoryTree),
// its parent and children found by index, so a tree of a million names costs a few integers per
// name and no widget item at all.
#pragma once

#include <QAbstractItemModel>
#include <QIcon>
#include <vector>

#include "edit/CategoryTree.h"

namespace mv32::edit {

class CategoryTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit CategoryTreeModel(QObject* parent = nullptr);
    // Shows `lines` (kept by reference until the next call); the icons of categories and names.
    void show(const TreeLines* lines, QIcon category, QIcon name);
    // The text of a node.
    QString text(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    const std::vector<int>& childrenOf(const QModelIndex& parent) const;

    const TreeLines* lines_ = nullptr;
    std::vector<int> parent_;       // line of each line's parent, -1 at the top
    std::vector<int> row_;          // each line's row below its parent
    std::vector<int> kidsOf_;       // index into kids_, -1 for a line without children
    std::vector<std::vector<int>> kids_;
    std::vector<int> top_;
    QIcon category_, name_;
};

}  // namespace mv32::edit
