#include "app/gui/AccessibleWindows.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
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

bool plainWindow(QObject* object) {
    auto* w = qobject_cast<QWidget*>(object);
    return w && w->isWindow() && w->windowType() == Qt::Window && !qobject_cast<QMainWindow*>(w) &&
           !qobject_cast<QDialog*>(w) && !qobject_cast<QMenu*>(w);
}

QAccessibleInterface* windowFactory(const QString&, QObject* object) {
    // Only the program's own window classes: a plain QWidget is left to Qt.
    if (!plainWindow(object) || object->metaObject() == &QWidget::staticMetaObject) return nullptr;
    return new WindowAccessible(static_cast<QWidget*>(object));
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
