#include "search/gui/speichersuchen.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "search/gui/SearchDialogParts.h"

namespace mv32::search {

Tspeichersuchen::Tspeichersuchen(Search search, std::string helpFolder, QWidget* parent)
    : QDialog(parent), search_(std::move(search)), helpFolder_(std::move(helpFolder)) {
    setObjectName("speichersuchen");
    setWindowTitle("Freien Speicher suchen");
    auto* values = new QGroupBox("Werte", this);
    values->setObjectName("werte");
    values->setToolTip(
        "Sollen die Speicherbereiche größer (>), genau gleich (=) oder kleiner "
        "(<) als die Eingabe sein?");
    more_ = new QRadioButton("&mehr als...", values);
    more_->setObjectName("mehr");
    exactly_ = new QRadioButton("&genau...", values);
    exactly_->setObjectName("genau");
    auto* less = new QRadioButton("&weniger als...", values);
    less->setObjectName("weniger");
    auto* row = new QHBoxLayout(values);
    row->addWidget(more_);
    row->addWidget(exactly_);
    row->addWidget(less);
    size_ = new QLineEdit(this);
    size_->setObjectName("speicher");
    size_->setMaxLength(9);
    size_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,9}"), this));
    size_->setToolTip("Größe des zu suchenden Speicherbereichs in KByte");
    auto* label = new QLabel("Größe (in KByte):", this);
    label->setBuddy(size_);
    noZero_ = new QCheckBox("Keine 0 Byte-Einträge anzeigen", this);
    noZero_->setObjectName("NullByte");
    noZero_->setChecked(true);
    auto* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(label);
    sizeRow->addWidget(size_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(values);
    layout->addLayout(sizeRow);
    layout->addWidget(noZero_);
    layout->addLayout(searchButtons(
        this, [this] { find(); }, helpFolder_, "s_freespace.html"));
    resize(420, 180);
}

void Tspeichersuchen::open() {
    more_->setChecked(true);
    showCentred(this);
    size_->setFocus();
}

void Tspeichersuchen::find() {
    const FreeSpaceCompare compare = more_->isChecked()      ? FreeSpaceCompare::MoreThan
                                     : exactly_->isChecked() ? FreeSpaceCompare::Exactly
                                                             : FreeSpaceCompare::LessThan;
    if (search_ &&
        search_(compare, size_->text().toStdString(), noZero_->isChecked()) == SearchOutcome::Shown)
        hide();
}

void Tspeichersuchen::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QDialog::keyPressEvent(e);
}

}  // namespace mv32::search
