#include "app/gui/AccessibleWindows.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
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

// A list box named by its label (Qt on Linux names it by the entry it shows); the entry is its
// value, and "ShowMenu" opens the list.
class LabelledComboAccessible : public QAccessibleWidget {
public:
    explicit LabelledComboAccessible(QComboBox* box)
        : QAccessibleWidget(box, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        auto* box = static_cast<QComboBox*>(widget());
        if (t == QAccessible::Name && !box->accessibleName().isEmpty())
            return box->accessibleName();
        if (t == QAccessible::Name || t == QAccessible::Value) return box->currentText();
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override {
        return QAccessibleWidget::actionNames() << showMenuAction();
    }
    void doAction(const QString& action) override {
        if (action == showMenuAction())
            static_cast<QComboBox*>(widget())->showPopup();
        else
            QAccessibleWidget::doAction(action);
    }
};

// Whether `object` is one of the program's own secondary windows: a class of ours (a widget Qt
// keeps without a parent for a moment while it builds a dialog is no window of the program).
bool programWindow(QObject* object) {
    auto* w = qobject_cast<QWidget*>(object);
    return w && w->isWindow() && w->windowType() == Qt::Window &&
           QByteArray(object->metaObject()->className()).startsWith("mv32::") &&
           !qobject_cast<QMainWindow*>(w) && !qobject_cast<QDialog*>(w) &&
           !qobject_cast<QMenu*>(w);
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
