#include "app/gui/WaitWindow.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace mv32::app {

TWaitWindow::TWaitWindow(QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Dialog) {
    setObjectName("WaitWindow");
    setModal(false);
    auto* panel = new QLabel("Bitte warten...", this);
    panel->setObjectName("WaitPanel");
    panel->setAlignment(Qt::AlignCenter);
    panel->setStyleSheet("background: #0000a0; color: yellow; font-weight: bold; padding: 14px;");
    auto* cancel = new QPushButton("Abbrechen", this);
    cancel->setObjectName("AbbrechenBtn");
    connect(cancel, &QPushButton::clicked, this, [this] { cancel_ = true; });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    layout->addWidget(cancel, 0, Qt::AlignCenter);
    setFixedSize(220, 110);
}

}  // namespace mv32::app
