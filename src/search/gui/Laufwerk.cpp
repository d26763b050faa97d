#include "search/gui/Laufwerk.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "document/gui/WindowParts.h"

namespace mv32::search {

TLaufwerk::TLaufwerk(std::vector<platform::Volume> drives, QWidget* parent)
    : QDialog(parent), drives_(std::move(drives)) {
    setObjectName("Laufwerk");
    setWindowTitle("Laufwerk");
    box_ = document::driveBox("DriveComboBox1", this);
    for (const auto& v : drives_) {
        QString text = QString("%1:  ").arg(QChar(v.letter));
        if (!v.label.empty()) text += "[" + QString::fromStdString(v.label) + "]  ";
        box_->addItem(text + QString::fromStdString(v.root));
    }
    auto* label = new QLabel("&Laufwerk:", this);
    label->setBuddy(box_);
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("BitBtn1");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(box_);
    layout->addWidget(ok, 0, Qt::AlignRight);
    resize(320, 120);
}

std::optional<platform::Volume> TLaufwerk::choose() {
    if (exec() != QDialog::Accepted || box_->currentIndex() < 0) return std::nullopt;
    return drives_[static_cast<size_t>(box_->currentIndex())];
}

}  // namespace mv32::search
