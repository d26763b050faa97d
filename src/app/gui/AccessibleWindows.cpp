#include "app/gui/AccessibleWindows.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>

#include "document/gui/WindowParts.h"

namespace mv32::app {

namespace {

// A secondary window: its own children, then the context menus it shows.
class WindowAccessible : public QAccessibleWidget {
public:
    explicit WindowAccessible(QWidget* window) : QAccessibleWidget(window, QAccessible::Window) {}

    int childCount() const override {
        return QAccessibleWidget::childCount() + static_cast<int>(popups().size());
    }
    QAccessibleInterface* child(int index) const override {
        const int own = QAccessibleWidget::childCount();
        if (index < own) return QAccessibleWidget::child(index);
        const QList<QMenu*> menus = popups();
        index -= own;
        return index < menus.size() ? QAccessible::queryAccessibleInterface(menus[index]) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        const int i = QAccessibleWidget::indexOfChild(child);
        if (i >= 0 || !child) return i;
        const QList<QMenu*> menus = popups();
        for (int k = 0; k < menus.size(); ++k)
            if (child->object() == menus[k]) return QAccessibleWidget::childCount() + k;
        return -1;
    }

private:
    QList<QMenu*> popups() const {
        QList<QMenu*> shown;
        for (QMenu* m : widget()->findChildren<QMenu*>(Qt::FindDirectChildrenOnly))
            if (m->isVisible()) shown << m;
        return shown;
    }
};

// A list box named by its label (Qt on Linux names it by the entry it shows). The entry shown
// is its text, as a screen reader reads it; its children are the list it opens (to pick from)
// and, where one may type, the typing field; "ShowMenu" opens the list.
class LabelledComboAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit LabelledComboAccessible(QComboBox* box)
        : QAccessibleWidget(box, QAccessible::ComboBox) {}

    QComboBox* box() const { return static_cast<QComboBox*>(widget()); }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && !box()->accessibleName().isEmpty())
            return box()->accessibleName();
        if (t == QAccessible::Name) {
            // Not yet named by document::finishWindow: the label that has it as its buddy.
            for (QLabel* label : box()->window()->findChildren<QLabel*>())
                if (label->buddy() == box()) return QString(label->text()).remove('&');
        }
        if (t == QAccessible::Name || t == QAccessible::Value) return box()->currentText();
        return QAccessibleWidget::text(t);
    }
    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TextInterface && !box()->isEditable())
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    // The list, then the typing field.
    int childCount() const override { return box()->isEditable() ? 2 : 1; }
    QAccessibleInterface* child(int index) const override {
        if (index == 0) return QAccessible::queryAccessibleInterface(box()->view());
        if (index == 1 && box()->lineEdit())
            return QAccessible::queryAccessibleInterface(box()->lineEdit());
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface* c) const override {
        if (!c) return -1;
        if (c->object() == box()->view()) return 0;
        if (box()->lineEdit() && c->object() == box()->lineEdit()) return 1;
        return -1;
    }

    QStringList actionNames() const override {
        return QAccessibleWidget::actionNames() << showMenuAction();
    }
    void doAction(const QString& action) override {
        if (action == showMenuAction())
            box()->showPopup();
        else
            QAccessibleWidget::doAction(action);
    }

    // The shown entry as read-only text.
    QString text(int start, int end) const override {
        return box()->currentText().mid(start, end - start);
    }
    int characterCount() const override { return static_cast<int>(box()->currentText().size()); }
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* start, int* end) const override {
        *start = *end = offset;
        return {};
    }
};

// Whether `object` is one of the program's own secondary windows: a class of ours (a widget Qt
// keeps without a parent for a moment while it builds a dialog is no window of the program).
bool programWindow(QObject* object) {
    auto* w = qobject_cast<QWidget*>(object);
    return w && w->isWindow() && w->windowType() == Qt::Window &&
           QByteArray(object->metaObject()->className()).startsWith("mv32::") &&
           !qobject_cast<QMainWindow*>(w) && !qobject_cast<QDialog*>(w) && !qobject_cast<QMenu*>(w);
}

QAccessibleInterface* windowFactory(const QString&, QObject* object) {
    if (auto* box = qobject_cast<document::LabelledComboBox*>(object))
        return new LabelledComboAccessible(box);
    if (programWindow(object)) return new WindowAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

// Finishes every window before it is first shown.
class Finisher : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Show) {
            auto* w = qobject_cast<QWidget*>(watched);
            if (w && w->isWindow() && !qobject_cast<QMenu*>(w)) document::finishWindow(w);
        }
        return false;
    }
};

}  // namespace

void prepareWindows() {
    static bool prepared = false;
    if (prepared || !qApp) return;
    prepared = true;
    QAccessible::installFactory(windowFactory);
    qApp->installEventFilter(new Finisher(qApp));
}

}  // namespace mv32::app
