// A record grid's model: a Qt table model over a data source, for a QTableView.
//
// It reads a row only when the view asks for it, through a reader of its own (by position,
// which the engine finds in O(log n)), and keeps a small cache of the rows read last, so a
// grid over ten million records opens and scrolls at once. Its columns are configured per
// window: field, title, width, alignment, and the titles' font and colour. A memo or picture
// column shows "(Memo)" or "(Grafik)" when the field holds data, without reading the data.
//
// The current row follows the data source's cursor (currentRowChanged) and back
// (setCurrentRow); selected rows map to records (recordNumbers, bookmarks), so "for every
// selected row" works on tables and query results alike. Records added or removed, by this
// window or elsewhere, reset the model. User-interface thread only.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "document/DataSource.h"
#include "engine/Table.h"

namespace mv32::document {

struct GridColumn {
    std::string field;
    QString title;
    int width = 100;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    std::optional<QFont> titleFont;
    std::optional<QColor> titleColor;
};

class RecordGridModel : public QAbstractTableModel, public DataLink {
    Q_OBJECT
public:
    RecordGridModel(DataSource& source, std::vector<GridColumn> columns, QObject* parent = nullptr);
    ~RecordGridModel() override;

    const std::vector<GridColumn>& columns() const { return columns_; }

    // The rows found so far: a query result that finds its rows as they are read grows as
    // the view reaches its end (canFetchMore, fetchMore) until all are found.
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The row of the data source's current record (-1: none).
    int currentRow() const;
    // Makes the record of `row` the data source's current one (the view's current row moved).
    void setCurrentRow(int row);
    // The record numbers (1-based) of rows, and for a table their bookmarks, which stay valid
    // when other records are deleted.
    std::vector<int64_t> recordNumbers(const std::vector<int>& rows) const;
    std::vector<engine::Bookmark> bookmarks(const std::vector<int>& rows) const;
    // Rows read from the cursor so far (for tests of the cache).
    int64_t rowsRead() const { return rowsRead_; }

    void activeChanged(DataSource&) override;
    void dataSetChanged(DataSource&, DataChange change) override;
    void editingChanged(DataSource&) override;

signals:
    void currentRowChanged(int row);

private:
    struct CachedRow {
        std::vector<QString> texts;
        std::list<int64_t>::iterator lru;
    };
    const std::vector<QString>& row(int64_t r) const;
    void reset();
    void showFound();
    engine::Cursor* reader() const;

    DataSource& source_;
    std::vector<GridColumn> columns_;
    mutable std::unique_ptr<engine::Cursor> reader_;
    mutable std::vector<int> fieldIndex_;  // of each column in the reader, -1 unknown
    mutable int64_t count_ = -1;
    mutable std::unordered_map<int64_t, CachedRow> cache_;
    mutable std::list<int64_t> lru_;
    mutable int64_t rowsRead_ = 0;
    bool growing_ = false;
    static constexpr size_t kCachedRows = 512;
    static constexpr int64_t kFetchRows = 1000;
    static constexpr int64_t kMaxFetchRows = 65536;
};

}  // namespace mv32::document
