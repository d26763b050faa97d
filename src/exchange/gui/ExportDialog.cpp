#include "exchange/gui/ExportDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace mv32::exchange {

TExportDialog::TExportDialog(ExportKind kind, std::function<void(const char*)> openHelp,
                             QWidget* parent)
    : QDialog(parent), kind_(kind) {
    const bool html = kind == ExportKind::Html;
    setObjectName(html ? "HTMLExp"
                       : kind == ExportKind::TextResult ? "DateiASCIIExpSQL" : "DateiASCIIExp");
    setWindowTitle(html ? "Daten in HTML-Datei exportieren" : "Daten in ASCII-Datei exportieren");
    setProperty("helpContext", 42);
    auto* group = new QGroupBox("&Exportbereiche", this);
    group->setObjectName("GroupBox1");
    auto* grid = new QGridLayout(group);
    ExportChoice d;
    QCheckBox* name = box("&Programmname", "ProgCheckBox", true);
    name->setEnabled(false);  // the name is always written
    medium_ = box("&Datenträger", "MedCheckBox", d.medium);
    number_ = box("Datenträger-&Nr.", "MedNrCheckBox", d.number);
    count_ = box("Anzahl Datenträger", "AnzCheckBox", d.count);
    info_ = box("Datenträger Informationen", "InfoCheckBox", d.info);
    status_ = box("Status", "StatCheckBox", d.status);
    category_ = box("Kategorie", "KatCheckBox", d.category);
    date_ = box("Datum/Uhrzeit", "DateCheckBox", d.date);
    QList<QCheckBox*> boxes{name, medium_, number_, count_, info_, status_, category_, date_};
    if (html) {
        memo_ = box("Memo", "MemoCheckBox", d.memo);
        boxes << memo_;
    }
    for (int i = 0; i < boxes.size(); ++i) {
        boxes[i]->setParent(group);
        grid->addWidget(boxes[i], i % 5, i / 5);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    if (html) {
        split_ = box("Daten alphabetisch aufteilen", "DatenTeilen", d.split);
        layout->addWidget(split_);
    }
    auto* ok = new QPushButton("&Ok", this);
    ok->setObjectName("OkBtn");
    ok->setToolTip("Daten exportieren");
    ok->setDefault(true);
    auto* cancel = new QPushButton("&Abbrechen", this);
    cancel->setObjectName("AbbrechenBtn");
    cancel->setToolTip("Vorgang abbrechen");
    auto* help = new QPushButton("&Hilfe", this);
    help->setObjectName("HilfeBtn");
    help->setToolTip("Onlinehilfe konsultieren");
    help->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(help, &QPushButton::clicked, this, [openHelp, html] {
        if (openHelp) openHelp(html ? "datei_html_exp.html" : "datei_ascii_exp.html");
    });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch();
    buttons->addWidget(help);
    layout->addLayout(buttons);
}

QCheckBox* TExportDialog::box(const char* caption, const char* name, bool checked) {
    auto* b = new QCheckBox(QString::fromUtf8(caption), this);
    b->setObjectName(name);
    b->setChecked(checked);
    return b;
}

ExportChoice TExportDialog::choice() const {
    ExportChoice c;
    c.medium = medium_->isChecked();
    c.number = number_->isChecked();
    c.count = count_->isChecked();
    c.info = info_->isChecked();
    c.status = status_->isChecked();
    c.category = category_->isChecked();
    c.date = date_->isChecked();
    if (memo_) c.memo = memo_->isChecked();
    if (split_) c.split = split_->isChecked();
    return c;
}

std::optional<ExportChoice> TExportDialog::ask() {
    if (exec() != QDialog::Accepted) return std::nullopt;
    return choice();
}

}  // namespace mv32::exchange
