#include "search/gui/BereichSuchen.h"

#include <QComboBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "document/gui/WindowParts.h"
#include "search/gui/SearchDialogParts.h"

namespace mv32::search {

TBereichSuchen::TBereichSuchen(Search search, std::string helpFolder, QWidget* parent)
    : QDialog(parent), search_(std::move(search)), helpFolder_(std::move(helpFolder)) {
    setObjectName("BereichSuchen");
    setWindowTitle("Bereiche der Datenträgernummer durchsuchen");
    auto bound = [this](const char* name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        e->setMaxLength(5);
        e->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,5}"), this));
        return e;
    };
    from_ = bound("Bereich1");
    to_ = bound("Bereich2");
    medium_ = document::pickBox("Datentraeger", this, 255);
    for (const char* m :
         {"Diskette", "CDROM", "CD-R", "Festplatte", "ZIP", "JAZ", "MO", "Streamer", "Netzwerk"})
        medium_->addItem(m);
    auto* g = new QGridLayout;
    auto* fromLabel = new QLabel("Suchen &von", this);
    fromLabel->setBuddy(from_);
    auto* toLabel = new QLabel("&bis", this);
    toLabel->setBuddy(to_);
    auto* mediumLabel = new QLabel("Datenträger:", this);
    mediumLabel->setBuddy(medium_);
    g->addWidget(fromLabel, 0, 0);
    g->addWidget(from_, 0, 1);
    g->addWidget(toLabel, 0, 2);
    g->addWidget(to_, 0, 3);
    g->addWidget(mediumLabel, 1, 0);
    g->addWidget(medium_, 1, 1, 1, 3);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(g);
    layout->addLayout(searchButtons(
        this, [this] { find(); }, helpFolder_, "s_bereich.html"));
    resize(420, 140);
}

void TBereichSuchen::open() {
    from_->setText("0");
    to_->setText("0");
    medium_->setEditText({});
    showCentred(this);
    from_->setFocus();
}

void TBereichSuchen::find() {
    if (!search_) return;
    const SearchOutcome o = search_(from_->text().toStdString(), to_->text().toStdString(),
                                    medium_->currentText().toStdString());
    if (o != SearchOutcome::Refused) hide();
}

void TBereichSuchen::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QDialog::keyPressEvent(e);
}

}  // namespace mv32::search
