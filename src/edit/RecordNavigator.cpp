#include "edit/RecordNavigator.h"

namespace mv32::edit {

using document::DataSource;

namespace {

size_t at(NavButton b) {
    return static_cast<size_t>(b);
}

}  // namespace

RecordNavigator::RecordNavigator(document::UserInterface& ui) : ui_(ui) {
    visible_.fill(true);
}

RecordNavigator::~RecordNavigator() {
    release();
    if (source_) source_->removeLink(*this);
}

const std::array<const char*, kNavButtons>& RecordNavigator::defaultHints() {
    static const std::array<const char*, kNavButtons> hints = {
        "Primero", "Anterior", "Próximo",  "Ultimo",     "Insertar", "Eliminar",
        "Editar",  "Aceptar",  "Cancelar", "Actualizar", "Bookmark"};
    return hints;
}

const std::array<const char*, kNavButtons>& RecordNavigator::glyphNames() {
    static const std::array<const char*, kNavButtons> names = {
        "MYBMPFIRST", "MYBMPPRIOR", "MYBMPNEXT",   "MYBMPLAST",    "MYBMPINSERT",  "MYBMPDELETE",
        "MYBMPEDIT",  "MYBMPPOST",  "MYBMPCANCEL", "MYBMPREFRESH", "MYBMPBOOKMARK"};
    return names;
}

void RecordNavigator::setDataSource(DataSource* source) {
    if (source == source_) return;
    release();
    if (source_) source_->removeLink(*this);
    source_ = source;
    if (source_) source_->addLink(*this);
    tell();
}

void RecordNavigator::setEnabled(bool enabled) {
    enabled_ = enabled;
    tell();
}

bool RecordNavigator::buttonEnabled(NavButton b) const {
    if (!enabled_ || !source_ || !source_->active()) return false;
    engine::Cursor& c = *source_->cursor();
    const bool modify = source_->canModify();
    const bool editing = source_->editing();
    switch (b) {
        case NavButton::First:
        case NavButton::Prior:
            return c.recNo() > 1;
        case NavButton::Next:
        case NavButton::Last: {
            // A result found as it is read is asked for one row more, not finished.
            const int64_t n = c.recNo();
            if (n <= 0) return false;
            if (n < c.recordsFound()) return true;
            if (c.allFound()) return false;
            c.findMore(n + 1);
            return n < c.recordsFound();
        }
        case NavButton::Insert:
            return modify;
        case NavButton::Delete:
            return modify && c.recordCount() > 0;
        case NavButton::Edit:
            return modify && !editing;
        case NavButton::Post:
        case NavButton::Cancel:
            return modify && editing;
        case NavButton::Refresh:
            return !source_->isQuery();
        case NavButton::Bookmark:
            return buttonEnabled(NavButton::Next) || buttonEnabled(NavButton::Prior);
    }
    return false;
}

void RecordNavigator::click(NavButton b) {
    if (b == NavButton::Bookmark) {
        toggleBookmark();
        return;
    }
    if (!source_ || !source_->active()) {
        if (onClick) onClick(b);
        return;
    }
    if (beforeProcessClick) beforeProcessClick(b);
    act(b);
    if (onClick) onClick(b);
}

void RecordNavigator::act(NavButton b) {
    engine::Cursor& c = *source_->cursor();
    engine::Table* t = source_->table();
    switch (b) {
        case NavButton::First:
            c.first();
            break;
        case NavButton::Prior:
            c.prior();
            break;
        case NavButton::Next:
            c.next();
            break;
        case NavButton::Last:
            c.last();
            break;
        case NavButton::Insert:
            if (t) t->insert();
            break;
        case NavButton::Delete:
            if (!t) break;
            if (confirmDelete_ &&
                ui_.message(document::MessageKind::Bestaetigen, "Datensatz löschen?",
                            document::Buttons::OkAbbrechen) != document::Answer::Ok)
                break;
            t->remove();
            break;
        case NavButton::Edit:
            if (t) t->edit();
            break;
        case NavButton::Post:
            if (t) t->post();
            break;
        case NavButton::Cancel:
            if (t) t->cancel();
            break;
        case NavButton::Refresh:
            if (t) t->refresh();
            break;
        case NavButton::Bookmark:
            break;
    }
}

void RecordNavigator::toggleBookmark() {
    if (!source_ || !source_->active()) return;
    if (beforeProcessClick) beforeProcessClick(NavButton::Bookmark);
    engine::Cursor& c = *source_->cursor();
    engine::Table* t = source_->table();
    if (held_) {
        Held h = *held_;
        held_.reset();
        if (t)
            t->gotoBookmark(h.bookmark);
        else
            c.moveTo(h.recNo);
    } else {
        held_ = Held{t ? t->bookmark() : engine::Bookmark{}, c.recNo(), &c};
    }
    tell();
    if (onClick) onClick(NavButton::Bookmark);
}

void RecordNavigator::release() {
    if (!held_) return;
    held_.reset();
    tell();
}

void RecordNavigator::tell() {
    if (changed) changed();
}

void RecordNavigator::setVisible(NavButton b, bool visible) {
    visible_[at(b)] = visible;
    tell();
}

bool RecordNavigator::visible(NavButton b) const {
    return visible_[at(b)];
}

std::array<RecordNavigator::Place, kNavButtons> RecordNavigator::layout(int width) const {
    std::array<Place, kNavButtons> out{};
    int n = 0;
    for (bool v : visible_) n += v ? 1 : 0;
    if (n == 0) return out;
    const int each = width / n;
    int wider = width % n;
    int x = 0;
    for (size_t i = 0; i < visible_.size(); ++i) {
        if (!visible_[i]) continue;
        const int w = each + (wider-- > 0 ? 1 : 0);
        out[i] = Place{x, w};
        x += w;
    }
    return out;
}

void RecordNavigator::activeChanged(DataSource& source) {
    // The held record belongs to the records it was taken in.
    if (held_ && (!source.active() || source.cursor() != held_->of)) held_.reset();
    tell();
}

void RecordNavigator::dataSetChanged(DataSource&, document::DataChange) {
    tell();
}

void RecordNavigator::editingChanged(DataSource&) {
    tell();
}

}  // namespace mv32::edit
