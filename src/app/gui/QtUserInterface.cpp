#include "app/gui/QtUserInterface.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

#include "app/gui/DatenSichern.h"
#include "app/gui/Mavrel32Main.h"
#include "app/gui/Sorry.h"
#include "app/gui/WaitWindow.h"

namespace mv32::app {

using document::Answer;
using document::Buttons;
using document::MessageKind;

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

QMessageBox::Icon icon(MessageKind kind) {
    switch (kind) {
        case MessageKind::Fehler:
            return QMessageBox::Critical;
        case MessageKind::Warnung:
            return QMessageBox::Warning;
        case MessageKind::Bestaetigen:
        case MessageKind::Frage:
            return QMessageBox::Question;
        case MessageKind::Information:
        case MessageKind::Hinweis:
            return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

Answer showMessage(QWidget* parent, MessageKind kind, const QString& text, Buttons buttons) {
    QMessageBox box(icon(kind), QString::fromUtf8(document::captionOf(kind)), text,
                    QMessageBox::NoButton, parent);
    box.setObjectName("MessageBox");
    QPushButton* ok = nullptr;
    QPushButton* ja = nullptr;
    QPushButton* nein = nullptr;
    QPushButton* abbrechen = nullptr;
    switch (buttons) {
        case Buttons::Ok:
            box.addButton("OK", QMessageBox::AcceptRole);
            break;
        case Buttons::Abbrechen:
            abbrechen = box.addButton("&Abbrechen", QMessageBox::RejectRole);
            break;
        case Buttons::JaNein:
            ja = box.addButton("&Ja", QMessageBox::YesRole);
            nein = box.addButton("&Nein", QMessageBox::NoRole);
            box.setEscapeButton(nein);
            break;
        case Buttons::JaAbbrechen:
            ja = box.addButton("&Ja", QMessageBox::YesRole);
            abbrechen = box.addButton("Abbrechen", QMessageBox::RejectRole);
            box.setDefaultButton(abbrechen);  // destructive steps: the safe answer is preset
            break;
        case Buttons::OkAbbrechen:
            ok = box.addButton("OK", QMessageBox::AcceptRole);
            abbrechen = box.addButton("Abbrechen", QMessageBox::RejectRole);
            break;
    }
    box.exec();
    auto* clicked = box.clickedButton();
    if (clicked && clicked == ja) return Answer::Ja;
    if (clicked && clicked == nein) return Answer::Nein;
    if (clicked && clicked == ok) return Answer::Ok;
    if (buttons == Buttons::Ok) return Answer::Ok;
    if (buttons == Buttons::JaNein) return Answer::Nein;
    (void)abbrechen;
    return Answer::Abbrechen;
}

QStringList QtUserInterface::nameFilters(const std::string& filter) {
    QStringList parts = q(filter).split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        // "ASCII-Dateien (*.TXT)" names its patterns already; Qt reads them from the end.
        const QString named = " (" + patterns + ")";
        out << (parts[i].endsWith(named) ? parts[i] : parts[i] + named);
    }
    return out;
}

Answer QtUserInterface::message(MessageKind kind, const std::string& text, Buttons buttons) {
    return showMessage(&main_, kind, q(text), buttons);
}

document::FileDialogResult QtUserInterface::fileDialog(const document::FileDialogRequest& r) {
    QFileDialog dialog(&main_, q(r.title));
    dialog.setObjectName("FileDialog");
    dialog.setAcceptMode(r.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Every save in the program asks itself before it replaces a file: Qt asks no second time.
    if (r.save) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setFileMode(r.save || !r.mustExist ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QStringList filters = nameFilters(r.filter);
    dialog.setNameFilters(filters);
    if (!r.defaultExt.empty()) dialog.setDefaultSuffix(q(r.defaultExt).toLower());
    if (!r.folder.empty()) dialog.setDirectory(q(r.folder));
    if (!r.initialName.empty() && r.initialName.find('*') == std::string::npos)
        dialog.selectFile(q(r.initialName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    document::FileDialogResult result;
    result.path = dialog.selectedFiles().first().toStdString();
    result.filterIndex = static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1;
    if (result.filterIndex < 1) result.filterIndex = 1;
    return result;
}

bool QtUserInterface::askSaveData() {
    TDatenSichern question(&main_);
    return question.exec() == QDialog::Accepted;
}

void QtUserInterface::showOldVersionNotice() {
    TSorry sorry(&main_);
    sorry.exec();
}

void QtUserInterface::showProgress(bool visible) {
    main_.showProgress(visible);
}

void QtUserInterface::setProgressRange(int64_t minimum, int64_t maximum) {
    progressScale_ = 1;
    while (maximum / progressScale_ > INT32_MAX) progressScale_ *= 1024;
    main_.setProgress(static_cast<int>(minimum / progressScale_),
                      static_cast<int>(maximum / progressScale_),
                      static_cast<int>(minimum / progressScale_));
}

void QtUserInterface::setProgressPosition(int64_t position) {
    auto* bar = main_.findChild<QProgressBar*>("ProgressBar1");
    if (!bar) return;
    const int value = static_cast<int>(position / progressScale_);
    if (value == bar->value()) return;
    bar->setValue(value);
}

void QtUserInterface::showAnimation(document::Animation which, bool visible) {
    if (which == document::Animation::Busy) main_.showBusy(visible);
}

void QtUserInterface::setStatusText(int panel, const std::string& text) {
    main_.setPanelText(panel, q(text));
}

void QtUserInterface::setRecordLabel(int64_t recNo, int64_t count) {
    main_.setRecordLabel(recNo, count);
}

void QtUserInterface::setTitle(const std::string& title) {
    main_.setWindowTitle(q(title));
}

void QtUserInterface::showWaitWindow(bool visible) {
    auto& w = main_.waitWindow();
    if (visible) {
        w.resetCancelRequest();
        w.show();
        w.raise();
    } else {
        w.hide();
    }
}

bool QtUserInterface::cancelRequested() {
    return main_.waitWindow().cancelRequested();
}

void QtUserInterface::resetCancelRequest() {
    main_.waitWindow().resetCancelRequest();
}

void QtUserInterface::processEvents() {
    QApplication::processEvents();
}

void QtUserInterface::setControlState(document::ControlState state) {
    main_.setControlState(state);
}

void QtUserInterface::setSortItemVisible(const std::string& indexName, bool visible) {
    main_.setSortItemVisible(indexName, visible);
}

void QtUserInterface::setUndoEnabled(bool enabled) {
    main_.setUndoEnabled(enabled);
}

void QtUserInterface::setFileSearchVisible(bool visible) {
    main_.setFileSearchVisible(visible);
}

void QtUserInterface::setRecentFiles(const std::vector<std::string>& paths) {
    main_.setRecentFiles(paths);
}

void QtUserInterface::setAutoSaveInterval(int milliseconds) {
    main_.autoSaveTimer().start(milliseconds);
}

void QtUserInterface::showWindow(const std::string& formName, bool visible) {
    if (auto* w = main_.findChild<QWidget*>(q(formName))) w->setVisible(visible);
}

void QtUserInterface::showApplicationError(const std::string& text) {
    QMessageBox box(QMessageBox::Critical, "Mavrel/32", q(text), QMessageBox::NoButton, &main_);
    box.setObjectName("MessageBox");
    box.addButton("OK", QMessageBox::AcceptRole);
    box.exec();
}

}  // namespace mv32::app
