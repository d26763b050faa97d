#include "edit/gui/Auswahl.h"
#include "document/gui/WindowParts.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace mv32::edit {

namespace {

using document::button;

QLabel* text(const QString& t, QWidget* parent) {
    auto* l = new QLabel(t, parent);
    l->setWordWrap(true);
    return l;
}

}  // namespace

TAuswahl::TAuswahl(MediumRemoval& removal, std::string helpFolder, QWidget* parent)
    : QDialog(parent), removal_(removal), helpFolder_(std::move(helpFolder)) {
    setObjectName("Auswahl");
    setWindowTitle("Datenträger Auswahl");

    auto* first = new QGroupBox("1. Möglichkeit:", this);
    list_ = new QListWidget(first);
    list_->setObjectName("AuswahlBox");
    list_->setAccessibleName("Label - Seriennummer");
    auto* heading = new QLabel("Label - Seriennummer", first);
    heading->setBuddy(list_);
    delete1_ = button("Löschen", "deletebtn", first);
    delete1_->setAccessibleName("Löschen (aus der Liste)");
    auto* l1 = new QVBoxLayout(first);
    l1->addWidget(text("Wählen Sie einen Datenträger aus der Liste:", first));
    l1->addWidget(heading);
    l1->addWidget(list_, 1);
    l1->addWidget(delete1_, 0, Qt::AlignRight);

    auto* second = new QGroupBox("2. Möglichkeit:", this);
    drives_ = document::driveBox("DriveComboBox1", second);
    drives_->setAccessibleName("Laufwerk");
    delete2_ = button("Löschen", "delete2btn", second);
    delete2_->setAccessibleName("Löschen (aus dem Laufwerk)");
    auto* l2 = new QVBoxLayout(second);
    l2->addWidget(
        text("Legen Sie den gewünschten Datenträger in das entsprechende Laufwerk "
             "und/oder wählen Sie dieses in der unteren Liste:",
             second));
    l2->addWidget(drives_);
    l2->addStretch();
    l2->addWidget(delete2_, 0, Qt::AlignRight);

    close_ = button("Schließen", "abbruchbtn", this);
    auto* help = button("Hilfe", "HilfeBtn", this);
    connect(close_, &QPushButton::clicked, this, &QWidget::hide);
    connect(help, &QPushButton::clicked, this, [this] {
        QDesktopServices::openUrl(
            QUrl::fromLocalFile(QString::fromStdString(helpFolder_ + "daten_entfernen.html")));
    });
    connect(delete1_, &QPushButton::clicked, this, [this] {
        // Only an entry the person selected goes: the current item alone (Qt makes the first
        // row current when the window becomes active) chooses nothing.
        const QList<QListWidgetItem*> chosen = list_->selectedItems();
        removal_.removeListed(chosen.isEmpty() ? -1 : list_->row(chosen.first()));
        fill();
    });
    connect(delete2_, &QPushButton::clicked, this, [this] {
        const QString letter = drives_->currentData().toString();
        if (!letter.isEmpty()) removal_.removeInDrive(letter[0].toLatin1());
        fill();
    });
    removal_.running = [this](bool running) {
        for (QPushButton* b : {delete1_, delete2_, close_}) b->setEnabled(!running);
    };

    auto* panels = new QHBoxLayout;
    panels->addWidget(first, 1);
    panels->addWidget(second, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close_);
    buttons->addWidget(help);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        text("Sie können zwischen zwei Möglichkeiten wählen, einen Datenträger aus "
             "der Datenbank zu entfernen:",
             this));
    layout->addLayout(panels, 1);
    layout->addLayout(buttons);
    resize(620, 360);
}

TAuswahl::~TAuswahl() {
    removal_.running = nullptr;
}

void TAuswahl::open() {
    if (!removal_.load()) return;
    fill();
    // The drives as they are now (a stick may have come since), the chosen one kept.
    const QVariant chosen = drives_->currentData();
    drives_->clear();
    for (const auto& v : removal_.drives())
        drives_->addItem(QString("%1:  %2").arg(QChar(v.letter), QString::fromStdString(v.root)),
                         QChar(v.letter));
    if (const int again = drives_->findData(chosen); again >= 0) drives_->setCurrentIndex(again);
    document::centreOnScreen(this);
    document::showInFront(this);
}

void TAuswahl::fill() {
    list_->clear();
    for (const auto& e : removal_.entries()) list_->addItem(QString::fromStdString(e));
}

void TAuswahl::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QDialog::keyPressEvent(e);
}

}  // namespace mv32::edit
