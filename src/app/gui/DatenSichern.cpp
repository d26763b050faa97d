#include "app/gui/DatenSichern.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace mv32::app {

TDatenSichern::TDatenSichern(QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::Dialog) {
    setObjectName("DatenSichern");
    setWindowTitle("Daten sichern?");
    setStyleSheet("#DatenSichern { background: #ffff60; border: 2px solid #a0a000; }");
    setAttribute(Qt::WA_StyledBackground);
    auto* achtung = new QLabel("ACHTUNG!", this);
    achtung->setAlignment(Qt::AlignCenter);
    achtung->setStyleSheet("font-size: 18pt; font-weight: bold; color: #c00000;");
    auto* text =
        new QLabel("Ihre Daten sind noch nicht gesichert! Wollen Sie dies jetzt nachholen?", this);
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignCenter);
    auto* ja = new QPushButton("&Ja", this);
    ja->setObjectName("JaBtn");
    ja->setToolTip("Daten jetzt sichern");
    auto* nein = new QPushButton("&Nein", this);
    nein->setObjectName("NeinBtn");
    nein->setToolTip("Änderungen verwerfen");
    connect(ja, &QPushButton::clicked, this, &QDialog::accept);
    connect(nein, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ja);
    buttons->addWidget(nein);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 18);
    layout->addWidget(achtung);
    layout->addWidget(text);
    layout->addLayout(buttons);
    setFixedWidth(360);
}

}  // namespace mv32::app
