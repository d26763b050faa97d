#include "edit/gui/UndoForm.h"
#include "document/gui/WindowParts.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <exception>

namespace mv32::edit {

namespace {

std::vector<document::GridColumn> journalColumns() {
    std::vector<document::GridColumn> cols;
    for (const char* f :
         {"Name", "DatentraegerNr", "Datentraeger_Anzahl", "von", "Datentraeger", "Laufwerk",
          "Label", "Serien_Nr", "Gesamte_Groesse", "Freier_Speicher", "Status", "Datum_Uhrzeit",
          "Kategorie"}) {
        document::GridColumn c;
        c.field = f;
        c.title = QString::fromUtf8(f);
        c.width = std::string(f) == "Name" ? 200 : 140;
        cols.push_back(c);
    }
    return cols;
}

using document::button;

}  // namespace

TUndoForm::TUndoForm(UndoJournal& journal, document::DataSource& source,
                     document::UserInterface& ui, std::string helpFolder, QWidget* parent)
    : QWidget(parent, Qt::Window), journal_(journal), ui_(ui), helpFolder_(std::move(helpFolder)) {
    setObjectName("UndoForm");
    setWindowTitle("Undo Tabelle");

    nav_ = new TMyDBNavigator97(ui, this);
    nav_->setObjectName("DBNUndo");
    std::array<bool, kNavButtons> visible{};
    for (NavButton b : {NavButton::First, NavButton::Prior, NavButton::Next, NavButton::Last,
                        NavButton::Refresh})
        visible[static_cast<size_t>(b)] = true;
    nav_->setVisibleButtons(visible);
    nav_->setHints({"Erster", "Voriger", "Nächster", "Letzter", "Hinzufügen", "Löschen", "Edit",
                    "Speichern", "Rückgängig", "Refresh"});
    nav_->setFixedSize(5 * 25, 25);
    nav_->setDataSource(&source);

    grid_ = new document::RecordGrid(source, journalColumns(), windowTitle(), this);
    grid_->setObjectName("DBGrid1");

    auto* close = button("Schließen", "RxSpeedButton1", this);
    auto* undo = button("Undo", "RxSpeedButton2", this);
    auto* help = button("Hilfe", "RxSpeedButton3", this);
    connect(close, &QPushButton::clicked, this, &QWidget::hide);
    connect(undo, &QPushButton::clicked, this, [this] { restoreSelected(); });
    connect(help, &QPushButton::clicked, this, [this] {
        QDesktopServices::openUrl(
            QUrl::fromLocalFile(QString::fromStdString(helpFolder_ + "b_undo.html")));
    });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(close);
    buttons->addWidget(undo);
    buttons->addStretch();
    buttons->addWidget(help);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(nav_);
    layout->addWidget(grid_, 1);
    layout->addLayout(buttons);
    resize(760, 360);
}

void TUndoForm::restoreSelected() {
    try {
        journal_.restore(grid_->selectedBookmarks());
    } catch (const std::exception& e) {
        ui_.showApplicationError(e.what());
    }
}

void TUndoForm::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QWidget::keyPressEvent(e);
}

}  // namespace mv32::edit
