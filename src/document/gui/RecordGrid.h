// A record grid: the QTableView every window shows records in, over a RecordGridModel.
//
// Whole rows are selected, several at once with Ctrl and Shift. The view's current row and
// the data source's cursor follow each other: clicking a row or paging with the keys moves
// the cursor, and the cursor moving (a navigator button, a search) scrolls the view to its row.
// The grid's accessible name is the title of its window, so a screen reader names it; its
// context menu opens from the keyboard as well as with the mouse.
#pragma once

#include <QTableView>
#include <memory>
#include <vector>

#include "document/gui/RecordGridModel.h"

namespace mv32::document {

class RecordGrid : public QTableView {
    Q_OBJECT
public:
    RecordGrid(DataSource& source, std::vector<GridColumn> columns, const QString& title,
               QWidget* parent = nullptr);

    RecordGridModel& gridModel() { return *model_; }
    // The selected rows, top to bottom, as record numbers (1-based) and, over a table, as
    // bookmarks that stay valid when other records are deleted.
    std::vector<int> selectedRows() const;
    std::vector<int64_t> selectedRecordNumbers() const;
    std::vector<engine::Bookmark> selectedBookmarks() const;

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    // The Menu key and Shift+F10 open the grid's context menu at the current row.
    void keyPressEvent(QKeyEvent* e) override;

private:
    void showCursorRow(int row);

    std::unique_ptr<RecordGridModel> model_;
    bool following_ = false;  // the view moves because the cursor did: not back again
};

}  // namespace mv32::document
