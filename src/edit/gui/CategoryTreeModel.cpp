#include "edit/gui/CategoryTreeModel.h"

namespace mv32::edit {

namespace {
const std::vector<int> kNone;
}

CategoryTreeModel::CategoryTreeModel(QObject* parent) : QAbstractItemModel(parent) {}

void CategoryTreeModel::show(const TreeLines* lines, QIcon category, QIcon name) {
    beginResetModel();
    lines_ = lines;
    category_ = std::move(category);
    name_ = std::move(name);
    const size_t n = lines ? lines->size() : 0;
    parent_.assign(n, -1);
    row_.assign(n, 0);
    kidsOf_.assign(n, -1);
    kids_.clear();
    top_.clear();
    std::vector<int> open;  // the last line of each level above the current one
    for (size_t i = 0; i < n; ++i) {
        const auto level = static_cast<size_t>((*lines)[i].level);
        open.resize(std::min(open.size(), level));
        const int p = open.empty() ? -1 : open.back();
        const int self = static_cast<int>(i);
        parent_[i] = p;
        std::vector<int>* siblings = &top_;
        if (p >= 0) {
            auto& k = kidsOf_[static_cast<size_t>(p)];
            if (k < 0) {
                k = static_cast<int>(kids_.size());
                kids_.emplace_back();
            }
            siblings = &kids_[static_cast<size_t>(k)];
        }
        row_[i] = static_cast<int>(siblings->size());
        siblings->push_back(self);
        open.push_back(self);
    }
    endResetModel();
}

const std::vector<int>& CategoryTreeModel::childrenOf(const QModelIndex& parent) const {
    if (!parent.isValid()) return top_;
    const int k = kidsOf_[static_cast<size_t>(parent.internalId())];
    return k < 0 ? kNone : kids_[static_cast<size_t>(k)];
}

QModelIndex CategoryTreeModel::index(int row, int column, const QModelIndex& parent) const {
    const auto& c = childrenOf(parent);
    if (column != 0 || row < 0 || row >= static_cast<int>(c.size())) return {};
    return createIndex(row, 0, static_cast<quintptr>(c[static_cast<size_t>(row)]));
}

QModelIndex CategoryTreeModel::parent(const QModelIndex& child) const {
    if (!child.isValid()) return {};
    const int p = parent_[static_cast<size_t>(child.internalId())];
    if (p < 0) return {};
    return createIndex(row_[static_cast<size_t>(p)], 0, static_cast<quintptr>(p));
}

int CategoryTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0) return 0;
    return static_cast<int>(childrenOf(parent).size());
}

int CategoryTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

QString CategoryTreeModel::text(const QModelIndex& index) const {
    if (!index.isValid() || !lines_) return {};
    return QString::fromStdString((*lines_)[static_cast<size_t>(index.internalId())].text);
}

QVariant CategoryTreeModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !lines_) return {};
    const auto& l = (*lines_)[static_cast<size_t>(index.internalId())];
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromStdString(l.text);
        case Qt::DecorationRole:
            // Categories (and every node with nodes below it) show picture 1, names picture 0.
            return l.level == 0 ? category_ : name_;
        default:
            return {};
    }
}

}  // namespace mv32::edit
