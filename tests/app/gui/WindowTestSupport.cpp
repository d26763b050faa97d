#include "app/gui/WindowTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>

namespace mv32::test {

DialogAnswerer::DialogAnswerer(QStringList buttons) : buttons_(std::move(buttons)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start(10);
}

void DialogAnswerer::poll() {
    if (buttons_.isEmpty()) return;
    QWidget* modal = QApplication::activeModalWidget();
    if (modal) {
        QString text;
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            text = box->text();
        else
            for (auto* l : modal->findChildren<QLabel*>())
                text += (text.isEmpty() ? "" : " ") + l->text();
        for (auto* b : modal->findChildren<QAbstractButton*>()) {
            if (b->text() == buttons_.first() && b->isVisible()) {
                seen_ << modal->windowTitle() + ": " + text;
                buttons_.removeFirst();
                b->click();
                break;
            }
        }
    }
}

}  // namespace mv32::test
