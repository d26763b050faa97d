#include "document/gui/WindowParts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QShortcutEvent>

namespace mv32::document {

namespace {

QScreen* screenOf(QWidget* window) {
    if (QWidget* owner = window->parentWidget()) {
        if (QScreen* s = owner->window()->screen()) return s;
    }
    if (QScreen* s = window->screen()) return s;
    return QGuiApplication::primaryScreen();
}

// The accelerator of a caption ("&Suchen" gives Alt+S); empty without one.
QKeySequence mnemonicOf(const QString& caption) {
    return QKeySequence::mnemonic(caption);
}

// Takes a label's accelerator over for a button of the same window.
class ButtonWins : public QObject {
public:
    ButtonWins(QAbstractButton* button, QKeySequence key, QObject* parent)
        : QObject(parent), button_(button), key_(std::move(key)) {}

    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() != QEvent::Shortcut || !button_) return false;
        if (static_cast<QShortcutEvent*>(e)->key() != key_) return false;
        if (button_->isEnabled() && button_->isVisible()) button_->animateClick();
        return true;
    }

private:
    QPointer<QAbstractButton> button_;
    QKeySequence key_;
};

QString withoutAccelerator(QString text) {
    text.replace("&&", QString(QChar(0x1)));
    text.remove('&');
    text.replace(QChar(0x1), "&");
    return text;
}

}  // namespace

QPushButton* button(const QString& caption, const char* name, QWidget* parent,
                    const QString& hint) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    if (!hint.isEmpty()) b->setToolTip(hint);
    return b;
}

GridColumn titledColumn(const char* field, int width, Qt::Alignment alignment) {
    QFont bold;
    bold.setBold(true);
    GridColumn c;
    c.field = field;
    c.title = QString::fromUtf8(field);
    c.width = width;
    c.alignment = alignment;
    c.titleFont = bold;
    c.titleColor = QColor(Qt::blue);
    return c;
}

QComboBox* driveBox(const char* name, QWidget* parent) {
    auto* c = new LabelledComboBox(parent);
    c->setObjectName(name);
    return c;
}

QComboBox* pickBox(const char* name, QWidget* parent, int maxLength) {
    auto* c = new LabelledComboBox(parent);
    c->setObjectName(name);
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    // Qt completes an editable box from its list as one types ("CD" becomes "CD-R"), and Enter
    // then takes the completed entry: without a completer the text stays as typed.
    c->setCompleter(nullptr);
    c->lineEdit()->setMaxLength(maxLength);
    return c;
}

void centreOnScreen(QWidget* window) {
    QScreen* screen = screenOf(window);
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    // The frame a window manager adds is not known before the first showing: a margin for it.
    const QSize frame = window->frameGeometry().size() - window->geometry().size();
    const QSize room(area.width() - std::max(frame.width(), 8),
                     area.height() - std::max(frame.height(), 32));
    if (window->width() > room.width() || window->height() > room.height())
        window->resize(std::min(window->width(), room.width()),
                       std::min(window->height(), room.height()));
    const QSize outer =
        window->size() + QSize(std::max(frame.width(), 8), std::max(frame.height(), 32));
    window->move(area.x() + (area.width() - outer.width()) / 2,
                 area.y() + (area.height() - outer.height()) / 2);
}

void keepOnScreen(QWidget* window) {
    QScreen* screen = screenOf(window);
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    QRect outer = window->frameGeometry();
    if (area.contains(outer)) return;
    if (outer.width() > area.width() || outer.height() > area.height()) {
        centreOnScreen(window);
        return;
    }
    outer.moveLeft(std::clamp(outer.left(), area.left(), area.right() - outer.width() + 1));
    outer.moveTop(std::clamp(outer.top(), area.top(), area.bottom() - outer.height() + 1));
    window->move(outer.topLeft());
}

void showInFront(QWidget* window) {
    QWidget* modal = QApplication::activeModalWidget();
    const bool overModal = modal && modal != window && !window->isAncestorOf(modal);
    const Qt::WindowModality wanted = overModal ? Qt::ApplicationModal : Qt::NonModal;
    if (window->windowModality() != wanted) {
        // Qt takes a change of modality only while the window is hidden.
        if (window->isVisible()) window->hide();
        window->setWindowModality(wanted);
    }
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

void finishWindow(QWidget* window) {
    if (window->property("mv32Finished").toBool()) return;
    window->setProperty("mv32Finished", true);
    const QList<QLabel*> labels = window->findChildren<QLabel*>();
    const QList<QAbstractButton*> buttons = window->findChildren<QAbstractButton*>();
    for (QLabel* label : labels) {
        QWidget* box = label->buddy();
        if (!box) continue;
        if (box->accessibleName().isEmpty())
            box->setAccessibleName(withoutAccelerator(label->text()));
        const QKeySequence key = mnemonicOf(label->text());
        if (key.isEmpty()) continue;
        for (QAbstractButton* b : buttons) {
            if (b->window() != window || mnemonicOf(b->text()) != key) continue;
            auto* wins = new ButtonWins(b, key, label);
            label->installEventFilter(wins);
            b->installEventFilter(new ButtonWins(b, key, b));
            break;
        }
    }
}

}  // namespace mv32::document
