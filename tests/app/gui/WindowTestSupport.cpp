#include "app/gui/WindowTestSupport.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTabWidget>

namespace mv32::test {

DialogAnswerer::DialogAnswerer(QStringList buttons) : buttons_(std::move(buttons)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start(10);
}

void DialogAnswerer::poll() {
    if (buttons_.isEmpty()) return;
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* files = qobject_cast<QFileDialog*>(modal);
        files && buttons_.first().startsWith("Datei:")) {
        seen_ << files->windowTitle() + ": " + buttons_.first();
        files->selectFile(buttons_.first().mid(6));
        buttons_.removeFirst();
        QMetaObject::invokeMethod(files, "accept");
        return;
    }
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

std::unique_ptr<app::TMavrel32Main> mainWindowIn(const std::string& programDir) {
    app::TMavrel32Main::Options o;
    o.programFile = QCoreApplication::applicationFilePath().toStdString();  // help pages
    o.programDir = programDir;
    o.store = std::make_unique<document::MemorySettingsStore>();
    o.writeShellEntries = false;
    o.programDirCreated = true;  // a new program folder gets the shipped list files
    return std::make_unique<app::TMavrel32Main>(std::move(o));
}

QStringList unnamedControls(const std::vector<QWidget*>& windows) {
    QStringList unnamed;
    for (QWidget* window : windows) {
        for (QWidget* c : window->findChildren<QWidget*>()) {
            const bool control = qobject_cast<QAbstractButton*>(c) || qobject_cast<QLineEdit*>(c) ||
                                 qobject_cast<QComboBox*>(c) || qobject_cast<QProgressBar*>(c) ||
                                 qobject_cast<QTabWidget*>(c) || qobject_cast<QPlainTextEdit*>(c) ||
                                 qobject_cast<QAbstractItemView*>(c);
            if (!control || c->objectName().isEmpty() || c->objectName().startsWith("qt_"))
                continue;
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(c);
            if (!a || a->text(QAccessible::Name).trimmed().isEmpty())
                unnamed << window->objectName() + "/" + c->objectName();
        }
    }
    return unnamed;
}

}  // namespace mv32::test
