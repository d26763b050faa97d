#include "report/gui/QREinstell.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace mv32::report {

TQREinstell::TQREinstell(QWidget* parent) : QDialog(parent) {
    setObjectName("QREinstell");
    setWindowTitle("QuickReport Druckeinstellungen");
    setProperty("helpContext", 40);
    auto edit = [this](const char* name, const char* text, int digits) {
        auto* e = new QLineEdit(text, this);
        e->setObjectName(name);
        e->setMaxLength(digits);
        e->setValidator(new QRegularExpressionValidator(
            QRegularExpression(QString("[0-9]{0,%1}").arg(digits)), e));
        return e;
    };
    margin_ = edit("LeftAbst", "15", 4);
    columns_ = edit("Spalten", "2", 2);
    auto* form = new QFormLayout;
    auto* marginLabel = new QLabel("Linker Abstand (in mm):", this);
    marginLabel->setBuddy(margin_);
    auto* columnsLabel = new QLabel("Anzahl der Spalten:", this);
    columnsLabel->setBuddy(columns_);
    form->addRow(marginLabel, margin_);
    form->addRow(columnsLabel, columns_);

    auto* group = new QGroupBox("Papiergröße", this);
    group->setObjectName("Papersize");
    auto* grid = new QGridLayout(group);
    const std::pair<const char*, Paper> choices[] = {
        {"DIN A3", Paper::A3},      {"DIN A4", Paper::A4}, {"DIN A5", Paper::A5},
        {"Standard", Paper::Standard}, {"Legal", Paper::Legal}, {"Letter", Paper::Letter}};
    int i = 0;
    for (const auto& [caption, paper] : choices) {
        auto* r = new QRadioButton(caption, group);
        r->setObjectName(QString("Papier") + QString(caption).remove(' '));
        r->setChecked(paper == Paper::Standard);
        grid->addWidget(r, i % 3, i / 3);
        papers_.emplace_back(r, paper);
        ++i;
    }
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("OKBtn");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Abbrechen", this);
    cancel->setObjectName("AbbrechenBtn");
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(group);
    layout->addLayout(buttons);
}

QString TQREinstell::margin() const {
    return margin_->text();
}

QString TQREinstell::columns() const {
    return columns_->text();
}

Paper TQREinstell::paper() const {
    for (const auto& [button, paper] : papers_)
        if (button->isChecked()) return paper;
    return Paper::Standard;
}

}  // namespace mv32::report
