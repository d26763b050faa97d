#include "document/DataSource.h"

#include <algorithm>
#include <utility>

namespace mv32::document {

DataSource::~DataSource() {
    if (cursor_) cursor_->listener = nullptr;
}

void DataSource::setTable(engine::Table& table) {
    attach(&table, &table);
}

void DataSource::setCursor(engine::Cursor& cursor) {
    attach(&cursor, dynamic_cast<engine::Table*>(&cursor));
}

void DataSource::clear() {
    attach(nullptr, nullptr);
}

void DataSource::attach(engine::Cursor* cursor, engine::Table* table) {
    if (cursor == cursor_) return;
    if (cursor_) cursor_->listener = nullptr;
    cursor_ = cursor;
    table_ = table;
    if (cursor_) cursor_->listener = [this](engine::CursorEvent e) { heard(e); };
    each([this](DataLink& l) {
        l.activeChanged(*this);
        l.dataSetChanged(*this, DataChange::Content);
        l.editingChanged(*this);
    });
}

DataState DataSource::state() const {
    if (!active()) return DataState::Inactive;
    if (!table_) return DataState::Browse;
    switch (table_->state()) {
        case engine::DataSetState::Edit:
            return DataState::Edit;
        case engine::DataSetState::Insert:
            return DataState::Insert;
        default:
            return DataState::Browse;
    }
}

bool DataSource::editing() const {
    const DataState s = state();
    return s == DataState::Edit || s == DataState::Insert;
}

bool DataSource::canModify() const {
    return active() && table_ && !table_->readOnly();
}

std::unique_ptr<engine::Cursor> DataSource::reader() const {
    return active() ? cursor_->reader() : nullptr;
}

void DataSource::addLink(DataLink& link) {
    if (std::find(links_.begin(), links_.end(), &link) == links_.end()) links_.push_back(&link);
}

void DataSource::removeLink(DataLink& link) {
    links_.erase(std::remove(links_.begin(), links_.end(), &link), links_.end());
}

void DataSource::suspendLinks() {
    ++suspended_;
}

void DataSource::resumeLinks() {
    if (suspended_ == 0 || --suspended_ > 0) return;
    if (!std::exchange(missed_, false)) return;
    each([this](DataLink& l) {
        l.activeChanged(*this);
        l.dataSetChanged(*this, DataChange::Content);
        l.editingChanged(*this);
    });
}

template <typename F>
void DataSource::each(F&& call) {
    // A link may remove itself, or another, while it is told.
    const std::vector<DataLink*> now = links_;
    for (DataLink* l : now) {
        if (std::find(links_.begin(), links_.end(), l) != links_.end()) call(*l);
    }
}

void DataSource::heard(engine::CursorEvent event) {
    using engine::CursorEvent;
    if (event == CursorEvent::Gone) {
        // The cursor is being destroyed: forget it without touching it, then tell the links.
        cursor_ = nullptr;
        table_ = nullptr;
        each([this](DataLink& l) {
            l.activeChanged(*this);
            l.dataSetChanged(*this, DataChange::Content);
        });
        return;
    }
    // What a link holds for the record goes into it whether or not links are suspended.
    if (event == CursorEvent::BeforePost) {
        each([this](DataLink& l) { l.updateRecord(*this); });
        return;
    }
    if (suspended_ > 0) {
        missed_ = true;
        return;
    }
    switch (event) {
        case CursorEvent::Opened:
        case CursorEvent::Closed:
            each([this](DataLink& l) {
                l.activeChanged(*this);
                l.dataSetChanged(*this, DataChange::Content);
            });
            break;
        case CursorEvent::Moved:
            each([this](DataLink& l) { l.dataSetChanged(*this, DataChange::Moved); });
            break;
        case CursorEvent::DataChanged:
            each([this](DataLink& l) { l.dataSetChanged(*this, DataChange::Content); });
            break;
        case CursorEvent::StateChanged:
            each([this](DataLink& l) { l.editingChanged(*this); });
            break;
        case CursorEvent::BeforePost:
        case CursorEvent::Gone:
            break;
    }
}

}  // namespace mv32::document
