#include "edit/gui/MyDBNavigator97.h"

#include <QEvent>
#include <QStyle>
#include <QToolButton>
#include <exception>

namespace mv32::edit {

namespace {

const char* const kNames[kNavButtons] = {
    "ButtonFirst", "ButtonPrior", "ButtonNext",   "ButtonLast",    "ButtonInsert",  "ButtonDelete",
    "ButtonEdit",  "ButtonPost",  "ButtonCancel", "ButtonRefresh", "ButtonBookmark"};

// The pictures of buttons without one of their own (the program's own bitmaps are not
// shipped): the style's nearest standard pictures.
const QStyle::StandardPixmap kFallback[kNavButtons] = {QStyle::SP_MediaSkipBackward,
                                                       QStyle::SP_ArrowLeft,
                                                       QStyle::SP_ArrowRight,
                                                       QStyle::SP_MediaSkipForward,
                                                       QStyle::SP_FileDialogNewFolder,
                                                       QStyle::SP_TrashIcon,
                                                       QStyle::SP_FileDialogDetailedView,
                                                       QStyle::SP_DialogApplyButton,
                                                       QStyle::SP_DialogCancelButton,
                                                       QStyle::SP_BrowserReload,
                                                       QStyle::SP_DialogYesButton};

}  // namespace

TMyDBNavigator97::TMyDBNavigator97(document::UserInterface& ui, QWidget* parent)
    : QWidget(parent), ui_(ui), nav_(ui) {
    setObjectName("MyDBNavigator97");
    resize(264, 25);
    for (int i = 0; i < kNavButtons; ++i) {
        auto* b = new QToolButton(this);
        b->setObjectName(kNames[i]);
        b->setAutoRaise(true);  // flat
        b->setIcon(style()->standardIcon(kFallback[i]));
        b->setEnabled(false);
        const auto which = static_cast<NavButton>(i);
        if (which == NavButton::Bookmark) b->setCheckable(true);
        connect(b, &QToolButton::clicked, this, [this, which] {
            try {
                nav_.click(which);
            } catch (const std::exception& e) {
                ui_.showApplicationError(e.what());
            }
            show();
        });
        buttons_[static_cast<size_t>(i)] = b;
    }
    QStringList hints;
    for (const char* h : RecordNavigator::defaultHints()) hints << QString::fromUtf8(h);
    setHints(hints);
    nav_.changed = [this] { show(); };
    show();
}

void TMyDBNavigator97::setHints(const QStringList& hints) {
    for (int i = 0; i < kNavButtons && i < hints.size(); ++i) {
        buttons_[static_cast<size_t>(i)]->setToolTip(hints[i]);
        buttons_[static_cast<size_t>(i)]->setAccessibleName(hints[i]);
    }
}

void TMyDBNavigator97::setVisibleButtons(const std::array<bool, kNavButtons>& visible) {
    for (int i = 0; i < kNavButtons; ++i)
        nav_.setVisible(static_cast<NavButton>(i), visible[static_cast<size_t>(i)]);
    place();
}

void TMyDBNavigator97::setGlyph(NavButton b, const QIcon& icon) {
    button(b)->setIcon(icon.isNull() ? style()->standardIcon(kFallback[static_cast<int>(b)])
                                     : icon);
}

void TMyDBNavigator97::show() {
    for (int i = 0; i < kNavButtons; ++i)
        buttons_[static_cast<size_t>(i)]->setEnabled(nav_.buttonEnabled(static_cast<NavButton>(i)));
    buttons_[static_cast<size_t>(NavButton::Bookmark)]->setChecked(nav_.bookmarkHeld());
}

void TMyDBNavigator97::place() {
    const auto places = nav_.layout(width());
    for (int i = 0; i < kNavButtons; ++i) {
        auto* b = buttons_[static_cast<size_t>(i)];
        const auto& p = places[static_cast<size_t>(i)];
        b->setVisible(p.x >= 0);
        // Hidden buttons lie just below the visible area.
        if (p.x >= 0)
            b->setGeometry(p.x, 0, p.width, height());
        else
            b->setGeometry(0, height(), b->width(), b->height());
    }
}

void TMyDBNavigator97::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    place();
}

void TMyDBNavigator97::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::EnabledChange) nav_.setEnabled(isEnabled());
}

}  // namespace mv32::edit
