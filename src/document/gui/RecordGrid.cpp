#include "document/gui/RecordGrid.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <algorithm>

namespace mv32::document {

RecordGrid::RecordGrid(DataSource& source, std::vector<GridColumn> columns, const QString& title,
                       QWidget* parent)
    : QTableView(parent), model_(std::make_unique<RecordGridModel>(source, std::move(columns))) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setAccessibleName(title);
    // Every row has the same height: the view then never asks for rows it does not show. Set
    // before the model comes, as the header would otherwise visit each of its rows.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->hide();
    // Qt gives the column titles no height while there are no rows; an empty journal or
    // result still shows what its columns are.
    horizontalHeader()->setMinimumHeight(horizontalHeader()->fontMetrics().height() + 8);
    setModel(model_.get());
    for (int c = 0; c < model_->columnCount(); ++c) {
        setColumnWidth(c, model_->columns()[static_cast<size_t>(c)].width);
    }
    connect(model_.get(), &RecordGridModel::currentRowChanged, this, &RecordGrid::showCursorRow);
    connect(model_.get(), &QAbstractItemModel::modelReset, this,
            [this] { showCursorRow(model_->currentRow()); });
    showCursorRow(model_->currentRow());
}

void RecordGrid::showCursorRow(int row) {
    if (row < 0 || row >= model_->rowCount()) return;
    const QModelIndex at = model_->index(row, std::max(0, currentIndex().column()));
    if (currentIndex().row() == row) return;
    following_ = true;
    selectionModel()->setCurrentIndex(
        at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    following_ = false;
    scrollTo(at);
}

void RecordGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (!following_ && current.isValid() && current.row() != previous.row()) {
        model_->setCurrentRow(current.row());
    }
}

void RecordGrid::keyPressEvent(QKeyEvent* e) {
    const bool menuKey = e->key() == Qt::Key_Menu ||
                         (e->key() == Qt::Key_F10 && e->modifiers() == Qt::ShiftModifier);
    if (menuKey && contextMenuPolicy() == Qt::CustomContextMenu) {
        const QRect row = visualRect(currentIndex());
        const QPoint at = row.isValid() ? row.center() : QPoint(0, 0);
        emit customContextMenuRequested(viewport()->mapTo(this, at));
        return;
    }
    QTableView::keyPressEvent(e);
}

std::vector<int> RecordGrid::selectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& i : selectionModel()->selectedRows()) rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::vector<int64_t> RecordGrid::selectedRecordNumbers() const {
    return model_->recordNumbers(selectedRows());
}

std::vector<engine::Bookmark> RecordGrid::selectedBookmarks() const {
    return model_->bookmarks(selectedRows());
}

}  // namespace mv32::document
