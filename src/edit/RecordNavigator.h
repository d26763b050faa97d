// The record navigator: the program's bar of eleven buttons that moves through the records of
// a data source and inserts, deletes, edits, posts, cancels and refreshes them, with a bookmark
// toggle as the eleventh. Everything it decides lives here, tested without a display; the Qt
// bar (edit/gui/MyDBNavigator97) shows it.
//
// A click runs beforeProcessClick with the button's index (First 0 … Refresh 9, Bookmark 10),
// then the button's action, then onClick. Without a data source, or with an inactive one,
// only onClick runs (the bookmark then does nothing at all). With confirmDelete on, Delete
// first asks "Datensatz löschen?" (OK / Abbrechen) and deletes nothing on Abbrechen.
//
// Enabled states, evaluated whenever the data source changes: nothing while the navigator is
// disabled or the data source not active; else First and Prior while the current record is
// not the first, Next and Last while it is not the last, Insert when the records can be
// changed, Delete when they can and there are some, Edit when they can and none is being
// edited, Post and Cancel when one is, Refresh unless the data source shows a query result,
// and the bookmark exactly while Next or Prior is enabled.
//
// The bookmark: pressed on a record, it holds that record; pressed again, it goes back there
// and lets go. The held record is let go when the data source is changed or closed and when
// the navigator goes. User-interface thread only.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "document/DataSource.h"
#include "document/UserInterface.h"
#include "engine/Table.h"

namespace mv32::edit {

enum class NavButton {
    First,
    Prior,
    Next,
    Last,
    Insert,
    Delete,
    Edit,
    Post,
    Cancel,
    Refresh,
    Bookmark,
};
inline constexpr int kNavButtons = 11;

class RecordNavigator : public document::DataLink {
public:
    explicit RecordNavigator(document::UserInterface& ui);
    ~RecordNavigator() override;
    RecordNavigator(const RecordNavigator&) = delete;
    RecordNavigator& operator=(const RecordNavigator&) = delete;

    void setDataSource(document::DataSource* source);
    document::DataSource* dataSource() const { return source_; }
    void setEnabled(bool enabled);
    bool isEnabled() const { return enabled_; }
    void setConfirmDelete(bool confirm) { confirmDelete_ = confirm; }
    bool confirmDelete() const { return confirmDelete_; }

    std::function<void(NavButton)> beforeProcessClick;
    std::function<void(NavButton)> onClick;
    // Told whenever an enabled state or the bookmark may have changed.
    std::function<void()> changed;

    bool buttonEnabled(NavButton b) const;
    bool bookmarkHeld() const { return held_.has_value(); }
    void click(NavButton b);

    // Which buttons show (all eleven at first), and where: with width W and n buttons showing,
    // each is W div n wide, the first W mod n of them one pixel wider; x -1 for hidden ones.
    void setVisible(NavButton b, bool visible);
    bool visible(NavButton b) const;
    struct Place {
        int x = -1;
        int width = 0;
    };
    std::array<Place, kNavButtons> layout(int width) const;

    // The hints a bar shows where its window sets none, and the names of the pictures of
    // buttons that have none of their own.
    static const std::array<const char*, kNavButtons>& defaultHints();
    static const std::array<const char*, kNavButtons>& glyphNames();

    void activeChanged(document::DataSource&) override;
    void dataSetChanged(document::DataSource&, document::DataChange) override;
    void editingChanged(document::DataSource&) override;

private:
    struct Held {
        engine::Bookmark bookmark;  // tables
        int64_t recNo = 0;          // query results
        engine::Cursor* of = nullptr;
    };
    void act(NavButton b);
    void toggleBookmark();
    void release();
    void tell();

    document::UserInterface& ui_;
    document::DataSource* source_ = nullptr;
    bool enabled_ = true;
    bool confirmDelete_ = true;
    std::array<bool, kNavButtons> visible_;
    std::optional<Held> held_;
};

}  // namespace mv32::edit
