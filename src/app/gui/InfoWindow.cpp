#include "app/gui/InfoWindow.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace mv32::app {

TInfo::TInfo(QWidget* parent) : QDialog(parent) {
    setObjectName("Info");
    setWindowTitle("Info");
    auto* title = new QLabel("<b style='font-size:16pt'>Mavrel/32</b><br>Version 3.20", this);
    title->setAlignment(Qt::AlignCenter);
    auto* text = new QLabel(
        "Mavrel/32 katalogisiert Ihre Datenträger: Festplatten, CDs, USB-Sticks, Netzlaufwerke "
        "und Ordner.<br><br>"
        "<b>Haftungsausschluss:</b> Das Programm wird so, wie es ist, zur Verfügung gestellt. "
        "Für Schäden, die aus seiner Benutzung entstehen, insbesondere für Datenverluste, wird "
        "keine Haftung übernommen, soweit das Gesetz dies zulässt. Sichern Sie Ihre Kataloge "
        "regelmäßig (Einstellungen, Seite „Allgemeines“: „Erzeuge Backup der Datenbank beim "
        "Speichern“).",
        this);
    text->setObjectName("Disclaimer");
    text->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText("OK");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(text);
    layout->addWidget(buttons);
    setFixedWidth(420);
}

}  // namespace mv32::app
