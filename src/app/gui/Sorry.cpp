#include "app/gui/Sorry.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace mv32::app {

TSorry::TSorry(QWidget* parent) : QDialog(parent, Qt::FramelessWindowHint | Qt::Dialog) {
    setObjectName("Sorry");
    setWindowTitle("Ältere Version!");
    setStyleSheet("#Sorry { background: #00ff00; border: 2px solid #008000; }");
    setAttribute(Qt::WA_StyledBackground);
    auto* top = new QLabel(
        "Diese Datei ist von einer älteren Version (<2.2) des Mavrels! Leider ist es im Moment "
        "aus technischen Gründen nicht möglich, sie direkt im Programm zu konvertieren.",
        this);
    top->setWordWrap(true);
    auto* sorry = new QLabel("SORRY!", this);
    sorry->setObjectName("SorryTitle");
    sorry->setAlignment(Qt::AlignCenter);
    // Lowered three-dimensional lettering: a light edge below right, a dark one above left.
    sorry->setStyleSheet("font-size: 40pt; font-weight: bold; color: #00c000;");
    sorry->setFrameStyle(QFrame::NoFrame);
    auto* how = new QLabel(
        "Nutzen Sie dazu bitte das DOS-Programm MV21TO22.EXE, das sich im Installationsverzeichnis "
        "des Mavrels befindet!",
        this);
    how->setWordWrap(true);
    auto* thanks = new QLabel("Danke für Ihr Verständnis!", this);
    thanks->setAlignment(Qt::AlignCenter);
    auto* ok = new QPushButton("&Akzeptiert", this);
    ok->setObjectName("AkzeptiertBtn");
    ok->setToolTip("Fenster schließen");
    ok->setStatusTip("Fenster schließen");
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 18);
    layout->addWidget(top);
    layout->addWidget(sorry);
    layout->addWidget(how);
    layout->addWidget(thanks);
    layout->addWidget(ok, 0, Qt::AlignCenter);
    setFixedWidth(440);
}

}  // namespace mv32::app
