#include "edit/gui/ListEditor.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <exception>

#include "edit/PickLists.h"

namespace mv32::edit {

TListEditor::TListEditor(std::string path, document::UserInterface& ui, QWidget* parent)
    : QDialog(parent), path_(std::move(path)), ui_(ui) {
    setObjectName("ListEditor");
    setWindowTitle("Liste editieren");
    box_ = new QPlainTextEdit(this);
    box_->setObjectName("Memo1");
    box_->setLineWrapMode(QPlainTextEdit::NoWrap);
    box_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* label = new QLabel("Einträge:", this);
    label->setBuddy(box_);
    auto* ok = new QPushButton("&OK", this);
    ok->setObjectName("OKBtn");
    ok->setAutoDefault(false);
    auto* cancel = new QPushButton("&Abbruch", this);
    cancel->setObjectName("AbbruchBtn");
    cancel->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, [this] { this->ok(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(box_, 1);
    layout->addLayout(buttons);
    resize(360, 420);
}

void TListEditor::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    const auto text = readListText(path_);
    if (!text) {
        // Nothing to edit: "&OK" must not write an empty list over the file.
        ui_.showApplicationError("Die Liste »" + path_ + "« kann nicht gelesen werden.");
        QTimer::singleShot(0, this, &QDialog::reject);
        return;
    }
    box_->setPlainText(QString::fromStdString(*text));
}

void TListEditor::ok() {
    try {
        writeListText(path_, box_->toPlainText().toStdString());
    } catch (const std::exception& e) {
        ui_.showApplicationError(e.what());
        return;
    }
    accept();
}

}  // namespace mv32::edit
