#include "scan/gui/Programmdateneinlesen.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <filesystem>

#include "document/gui/WindowParts.h"
#include "scan/FileList.h"

namespace mv32::scan {

namespace {
QString q(const std::string& s) {
    return QString::fromStdString(s);
}
}  // namespace

TProgrammdateneinlesen::TProgrammdateneinlesen(ScanDriver& driver, ScanFlags& flags, Hooks hooks,
                                               QWidget* parent)
    : QDialog(parent), driver_(driver), flags_(flags), hooks_(std::move(hooks)) {
    setObjectName("Programmdateneinlesen");
    setWindowTitle("Laufwerk scannen");
    setProperty("helpContext", 22);

    auto* label1 = new QLabel("Wählen Sie das Laufwerk und drücken Sie den Button 'Start':", this);
    label1->setObjectName("Label1");
    drives_ = document::driveBox("DriveComboBox1", this);
    drives_->setToolTip("Wählen Sie ein Laufwerk");
    label1->setBuddy(drives_);  // the text above the list names it
    status_ = new QLabel("Scanner bereit...", this);
    status_->setObjectName("Label2");
    status_->setToolTip("Scannerbereich");
    status_->setFrameShape(QFrame::StyledPanel);
    status_->setMinimumWidth(420);
    status_->setTextFormat(Qt::PlainText);
    auto* label3 = new QLabel("Anzahl der Dateien:", this);
    label3->setObjectName("Label3");
    count_ = new QLabel("0", this);
    count_->setObjectName("Label4");
    auto* label5 = new QLabel("Neue Dateien:", this);
    label5->setObjectName("Label5");
    newFiles_ = new QLabel("0", this);
    newFiles_->setObjectName("Label6");

    start_ = new QPushButton("&Start", this);
    start_->setObjectName("scanbtn");
    start_->setToolTip("Scannen Sie jetzt das gewählte Laufwerk");
    close_ = new QPushButton("&Schließen", this);
    close_->setObjectName("closebtn");
    close_->setToolTip("Fenster schließen");
    help_ = new QPushButton("&Hilfe", this);
    help_->setObjectName("RxSpeedButton1");
    help_->setToolTip("Onlinehilfe konsultieren");
    abbr_ = new QPushButton("&Abbrechen", this);
    abbr_->setObjectName("Abbr");
    abbr_->setDefault(true);
    abbr_->hide();
    for (auto* b : {start_, close_, help_}) b->setAutoDefault(false);

    connect(drives_, &QComboBox::activated, this, [this] { DriveComboBox1Change(); });
    connect(start_, &QPushButton::clicked, this, [this] { scanbtnClick(); });
    connect(abbr_, &QPushButton::clicked, this, [this] { AbbrClick(); });
    connect(close_, &QPushButton::clicked, this, [this] { close(); });
    connect(help_, &QPushButton::clicked, this, [this] {
        if (hooks_.openHelp) hooks_.openHelp("b_eingabe.html");
    });

    auto* counts = new QGridLayout;
    counts->addWidget(label3, 0, 0);
    counts->addWidget(count_, 0, 1);
    counts->addWidget(label5, 1, 0);
    counts->addWidget(newFiles_, 1, 1);
    counts->setColumnStretch(2, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(start_);
    buttons->addWidget(abbr_);
    buttons->addWidget(close_);
    buttons->addStretch();
    buttons->addWidget(help_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label1);
    layout->addWidget(drives_);
    layout->addSpacing(6);
    layout->addWidget(status_);
    layout->addLayout(counts);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    fillDrives();
}

TProgrammdateneinlesen::~TProgrammdateneinlesen() {
    flags_.cancel = true;
    finishScan();
}

void TProgrammdateneinlesen::finishScan() {
    driver_.finishDialogScan([] {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    });
}

void TProgrammdateneinlesen::fillDrives() {
    // Filled afresh each time the dialog shows (a stick may have come since), the chosen drive
    // kept while it is there; filling is no choice of a drive and asks nothing.
    const QVariant chosen = drives_->currentData();
    drives_->clear();
    for (const auto& v : driver_.drives()) {
        auto id = platform::Volumes::ready(v) ? platform::Volumes::identify(v) : std::nullopt;
        QString text = QString("%1:  ").arg(QChar(v.letter));
        if (id && !id->label.empty()) text += "[" + q(id->label) + "]  ";
        text += q(v.root);
        drives_->addItem(text, QChar(v.letter));
    }
    if (const int again = drives_->findData(chosen); again >= 0) drives_->setCurrentIndex(again);
}

char TProgrammdateneinlesen::selectedLetter() const {
    const QVariant v = drives_->currentData();
    return v.isValid() ? static_cast<char>(v.toChar().toLatin1()) : 'C';
}

void TProgrammdateneinlesen::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!scanning()) fillDrives();
    // FormShow: the number of files so far.
    count_->setText(QString::number(
        FileList::countIn(hooks_.dataFolder ? hooks_.dataFolder() : std::string())));
    newFiles_->setText("0");
}

void TProgrammdateneinlesen::DriveComboBox1Change() {
    driver_.checkDrive(selectedLetter());
}

void TProgrammdateneinlesen::scanbtnClick() {
    const char letter = selectedLetter();
    if (hooks_.scanBackground && hooks_.scanBackground()) {
        driver_.startDialogScan(letter, *this, true);
        return;
    }
    close_->hide();
    abbr_->show();
    driver_.startDialogScan(letter, *this, false);
}

void TProgrammdateneinlesen::AbbrClick() {
    close_->show();
    abbr_->hide();
    flags_.running = false;
    flags_.cancel = true;
}

void TProgrammdateneinlesen::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {  // closes unless a scan can be cancelled
        if (!abbr_->isVisible()) close();
        return;
    }
    QDialog::keyPressEvent(e);
}

void TProgrammdateneinlesen::closeEvent(QCloseEvent* e) {
    // FormClose: hidden and kept for the next scan.
    e->accept();
}

void TProgrammdateneinlesen::setStatus(const std::string& text) {
    status_->setText(q(text));
}
void TProgrammdateneinlesen::setFileCount(int64_t count) {
    count_->setText(QString::number(count));
}
void TProgrammdateneinlesen::setNewFiles(int64_t count) {
    newFiles_->setText(QString::number(count));
}

void TProgrammdateneinlesen::setState(ScanDialogState state) {
    switch (state) {
        case ScanDialogState::Idle:
            drives_->setEnabled(true);
            start_->setEnabled(true);
            close_->show();
            abbr_->hide();
            break;
        case ScanDialogState::Scanning:
            drives_->setEnabled(false);
            start_->setEnabled(false);
            close_->hide();
            abbr_->show();
            abbr_->setFocus();
            break;
        case ScanDialogState::Asking:
            drives_->setEnabled(false);
            start_->setEnabled(false);
            close_->hide();
            abbr_->hide();
            break;
        case ScanDialogState::Closed:
            drives_->setEnabled(true);
            start_->setEnabled(true);
            close_->show();
            abbr_->hide();
            hide();
            break;
    }
}

void TProgrammdateneinlesen::hideWindows(bool hideThem) {
    if (hooks_.hideMainWindow) hooks_.hideMainWindow(hideThem);
    setVisible(!hideThem);
}

}  // namespace mv32::scan
