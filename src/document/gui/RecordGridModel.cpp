#include "document/gui/RecordGridModel.h"

#include <QSize>
#include <algorithm>
#include <exception>

namespace mv32::document {

RecordGridModel::RecordGridModel(DataSource& source, std::vector<GridColumn> columns,
                                 QObject* parent)
    : QAbstractTableModel(parent), source_(source), columns_(std::move(columns)) {
    source_.addLink(*this);
}

RecordGridModel::~RecordGridModel() {
    source_.removeLink(*this);
}

engine::Cursor* RecordGridModel::reader() const {
    if (!reader_ && source_.active()) {
        try {
            reader_ = source_.reader();
        } catch (const std::exception&) {  // nothing to show
            reader_.reset();
        }
        fieldIndex_.clear();
        if (reader_) {
            for (const auto& c : columns_) fieldIndex_.push_back(reader_->fieldIndex(c.field));
        }
    }
    return reader_.get();
}

int RecordGridModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    if (count_ < 0) {
        engine::Cursor* r = reader();
        try {
            count_ = r ? r->recordsFound() : 0;
        } catch (const std::exception&) {
            count_ = 0;
        }
    }
    return count_ > INT32_MAX ? INT32_MAX : static_cast<int>(count_);
}

bool RecordGridModel::canFetchMore(const QModelIndex& parent) const {
    if (parent.isValid()) return false;
    engine::Cursor* r = reader();
    try {
        return r && !r->allFound();
    } catch (const std::exception&) {
        return false;
    }
}

void RecordGridModel::fetchMore(const QModelIndex& parent) {
    // Views (and the model tester) ask for more while rows are being added: that waits for
    // their next request.
    if (parent.isValid() || growing_) return;
    engine::Cursor* r = reader();
    if (!r) return;
    try {
        // Each request finds as many rows again as are known (within bounds), so a scroll
        // bar dragged to the end of a long result reaches it in a few steps of a few ms each.
        const int64_t known = rowCount();
        r->findMore(known + std::clamp(known, kFetchRows, kMaxFetchRows));
    } catch (const std::exception&) {
        return;
    }
    showFound();
}

// Rows found meanwhile (by fetchMore, or by the cursor going further into the result) are
// added at the end.
void RecordGridModel::showFound() {
    if (count_ < 0) return;
    int64_t found = count_;
    try {
        if (engine::Cursor* r = reader()) found = std::min<int64_t>(r->recordsFound(), INT32_MAX);
    } catch (const std::exception&) {
        return;
    }
    if (found <= count_ || growing_) return;
    growing_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{growing_};
    beginInsertRows(QModelIndex(), static_cast<int>(count_), static_cast<int>(found) - 1);
    count_ = found;
    endInsertRows();
}

int RecordGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

const std::vector<QString>& RecordGridModel::row(int64_t r) const {
    auto it = cache_.find(r);
    if (it != cache_.end()) {
        lru_.splice(lru_.begin(), lru_, it->second.lru);
        return it->second.texts;
    }
    std::vector<QString> texts(columns_.size());
    if (engine::Cursor* c = reader()) {
        try {
            c->moveTo(r + 1);
            ++rowsRead_;
            for (size_t i = 0; i < columns_.size(); ++i) {
                const int f = fieldIndex_[i];
                if (f < 0) continue;
                const auto type = c->fieldDef(f).type;
                if (type == engine::FieldType::Memo || type == engine::FieldType::Blob) {
                    if (c->hasContent(f))
                        texts[i] = type == engine::FieldType::Memo ? "(Memo)" : "(Grafik)";
                } else {
                    texts[i] = QString::fromStdString(c->displayText(f));
                }
            }
        } catch (const std::exception&) {  // a row that cannot be read shows empty
        }
    }
    if (cache_.size() >= kCachedRows) {
        cache_.erase(lru_.back());
        lru_.pop_back();
    }
    lru_.push_front(r);
    auto& slot = cache_[r];
    slot.texts = std::move(texts);
    slot.lru = lru_.begin();
    return slot.texts;
}

QVariant RecordGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.column() >= static_cast<int>(columns_.size())) return {};
    const auto& col = columns_[static_cast<size_t>(index.column())];
    switch (role) {
        case Qt::DisplayRole:
            if (index.row() >= rowCount()) return {};
            return row(index.row())[static_cast<size_t>(index.column())];
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(col.alignment);
        default:
            return {};
    }
}

QVariant RecordGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 ||
        section >= static_cast<int>(columns_.size()))
        return QAbstractTableModel::headerData(section, orientation, role);
    const auto& col = columns_[static_cast<size_t>(section)];
    switch (role) {
        case Qt::DisplayRole:
            return col.title;
        case Qt::FontRole:
            return col.titleFont ? QVariant(*col.titleFont) : QVariant();
        case Qt::ForegroundRole:
            return col.titleColor ? QVariant(*col.titleColor) : QVariant();
        case Qt::SizeHintRole:
            return QSize(col.width, 0);
        default:
            return {};
    }
}

int RecordGridModel::currentRow() const {
    if (!source_.active()) return -1;
    try {
        return static_cast<int>(source_.cursor()->recNo()) - 1;
    } catch (const std::exception&) {
        return -1;
    }
}

void RecordGridModel::setCurrentRow(int row) {
    if (!source_.active() || row < 0 || row == currentRow()) return;
    source_.cursor()->moveTo(static_cast<int64_t>(row) + 1);
}

std::vector<int64_t> RecordGridModel::recordNumbers(const std::vector<int>& rows) const {
    std::vector<int64_t> out;
    out.reserve(rows.size());
    for (int r : rows) out.push_back(static_cast<int64_t>(r) + 1);
    return out;
}

std::vector<engine::Bookmark> RecordGridModel::bookmarks(const std::vector<int>& rows) const {
    std::vector<engine::Bookmark> out;
    auto* t = dynamic_cast<engine::Table*>(reader());
    if (!t) return out;
    for (int r : rows) {
        t->moveTo(static_cast<int64_t>(r) + 1);
        out.push_back(t->bookmark());
    }
    return out;
}

void RecordGridModel::reset() {
    beginResetModel();
    reader_.reset();
    fieldIndex_.clear();
    count_ = -1;
    cache_.clear();
    lru_.clear();
    endResetModel();
}

void RecordGridModel::activeChanged(DataSource&) {
    reset();
}

void RecordGridModel::dataSetChanged(DataSource&, DataChange change) {
    if (change == DataChange::Content) {
        reset();
    } else {
        showFound();
    }
    emit currentRowChanged(currentRow());
}

void RecordGridModel::editingChanged(DataSource&) {
    // A posted record may show other values now: read its row again.
    const int r = currentRow();
    if (r < 0) return;
    if (auto it = cache_.find(r); it != cache_.end()) {
        lru_.erase(it->second.lru);
        cache_.erase(it);
    }
    emit dataChanged(index(r, 0), index(r, columnCount() - 1));
}

}  // namespace mv32::document
