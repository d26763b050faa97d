#include "document/BoundFields.h"

#include <stdexcept>

namespace mv32::document {

BoundFields::BoundFields(DataSource& source) : source_(source) {
    source_.addLink(*this);
    lastState_ = source_.state();
}

BoundFields::~BoundFields() {
    source_.removeLink(*this);
}

int BoundFields::bind(std::string field, std::function<void(const std::string&)> show) {
    boxes_.push_back({std::move(field), std::move(show), {}, false});
    Box& b = boxes_.back();
    b.changed = false;
    std::string text;
    if (source_.active()) {
        try {
            text = source_.cursor()->displayText(b.field);
        } catch (const std::exception&) {  // a box of an unknown field stays empty
        }
    }
    display(b, text);
    return static_cast<int>(boxes_.size()) - 1;
}

void BoundFields::display(Box& b, const std::string& text) {
    b.text = text;
    if (b.show) b.show(text);
}

const std::string& BoundFields::text(int box) const {
    return boxes_.at(static_cast<size_t>(box)).text;
}

bool BoundFields::changed(int box) const {
    return boxes_.at(static_cast<size_t>(box)).changed;
}

bool BoundFields::editable() const {
    return source_.canModify();
}

void BoundFields::typed(int box, const std::string& text) {
    Box& b = boxes_.at(static_cast<size_t>(box));
    if (!editable()) return;
    b.text = text;
    b.changed = true;
    // Typing into a record being browsed starts its edit; what was typed is kept.
    if (source_.state() == DataState::Browse) source_.table()->edit();
}

void BoundFields::setText(int box, const std::string& text) {
    Box& b = boxes_.at(static_cast<size_t>(box));
    display(b, text);
    b.changed = true;
}

void BoundFields::reload() {
    engine::Cursor* c = source_.active() ? source_.cursor() : nullptr;
    for (Box& b : boxes_) {
        std::string text;
        if (c) {
            try {
                text = c->displayText(b.field);
            } catch (const std::exception&) {  // no such field, or no current record
            }
        }
        b.changed = false;
        display(b, text);
    }
}

void BoundFields::activeChanged(DataSource&) {
    lastState_ = source_.state();
    reload();
}

void BoundFields::dataSetChanged(DataSource&, DataChange) {
    reload();
}

void BoundFields::editingChanged(DataSource&) {
    const DataState now = source_.state();
    const DataState was = lastState_;
    lastState_ = now;
    // An edit that begins keeps the boxes (typing may have begun it); a new record, and the
    // end of an edit (posted or cancelled), show the record as it is.
    if (now == DataState::Edit && was != DataState::Insert) return;
    reload();
}

void BoundFields::updateRecord(DataSource&) {
    engine::Table* t = source_.table();
    if (!t) return;
    for (Box& b : boxes_) {
        if (!b.changed) continue;
        const int field = t->field(b.field);
        const auto type = t->fieldDef(field).type;
        // Empty text in a number field is a blank value; other text is converted, and text
        // that is no fitting integer stops the post with the engine's message.
        if (engine::isInteger(type) && b.text.find_first_not_of(" \t") == std::string::npos)
            t->setValue(field, engine::Value());
        else
            t->setValue(field, engine::Value(b.text));
    }
}

}  // namespace mv32::document
