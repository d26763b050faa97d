// TMyDBNavigator97: the record navigator's bar of eleven flat buttons (ButtonFirst …
// ButtonRefresh, ButtonBookmark), 264 × 25 pixels unless its window sizes it otherwise.
//
// The bar only shows the core navigator (edit/RecordNavigator): each button's enabled state,
// the pressed bookmark, the places of the buttons that show; a click goes to the navigator,
// and an error it raises is shown as the program shows errors. Each button's hint is its
// accessible name. User-interface thread only.
#pragma once

#include <QIcon>
#include <QStringList>
#include <QWidget>
#include <array>

#include "edit/RecordNavigator.h"

class QToolButton;

namespace mv32::edit {

class TMyDBNavigator97 : public QWidget {
    Q_OBJECT
public:
    explicit TMyDBNavigator97(document::UserInterface& ui, QWidget* parent = nullptr);

    RecordNavigator& navigator() { return nav_; }
    void setDataSource(document::DataSource* source) { nav_.setDataSource(source); }
    void setConfirmDelete(bool confirm) { nav_.setConfirmDelete(confirm); }
    // Hint i goes to button i, as far as there are hints.
    void setHints(const QStringList& hints);
    void setVisibleButtons(const std::array<bool, kNavButtons>& visible);
    void setGlyph(NavButton b, const QIcon& icon);
    QToolButton* button(NavButton b) const { return buttons_[static_cast<size_t>(b)]; }

protected:
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void show();
    void place();

    document::UserInterface& ui_;
    RecordNavigator nav_;
    std::array<QToolButton*, kNavButtons> buttons_{};
};

}  // namespace mv32::edit
