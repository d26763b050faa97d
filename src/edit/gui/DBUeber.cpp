#include "edit/gui/DBUeber.h"
#include "document/gui/WindowParts.h"

#include <QAction>
#include <QDesktopServices>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

namespace mv32::edit {

namespace {

std::vector<document::GridColumn> overviewColumns() {
    const struct {
        const char* field;
        int width;
    } fields[] = {{"Name", 220},
                  {"DatentraegerNr", 110},
                  {"Datentraeger", 120},
                  {"Kategorie", 160},
                  {"Gesamte_Groesse", 120},
                  {"Freier_Speicher", 120},
                  {"Laufwerk", 70},
                  {"Label", 100},
                  {"Serien_Nr", 90},
                  {"Memo", 70},
                  {"Grafik", 70}};
    std::vector<document::GridColumn> cols;
    for (const auto& f : fields) cols.push_back(document::titledColumn(f.field, f.width));
    return cols;
}

using document::button;

}  // namespace

TDBUeber::TDBUeber(Overview& overview, document::UserInterface& ui, QList<QAction*> sortActions,
                   Hooks hooks, std::string helpFolder, QWidget* parent)
    : QWidget(parent, Qt::Window),
      overview_(overview),
      ui_(ui),
      hooks_(std::move(hooks)),
      helpFolder_(std::move(helpFolder)) {
    setObjectName("DBUeber");
    setWindowTitle("Datenbank Übersicht");

    nav_ = new TMyDBNavigator97(ui, this);
    nav_->setObjectName("DBN");
    nav_->setHints({"Erster", "Voriger", "Nächster", "Letzter", "Hinzufügen", "Löschen", "Edit",
                    "Speichern", "Rückgängig", "Refresh"});
    nav_->setConfirmDelete(true);

    jump_ = new QLineEdit(this);
    jump_->setObjectName("Springen");
    auto* jumpLabel = new QLabel("Sofort springen zu:", this);
    jumpLabel->setBuddy(jump_);
    connect(jump_, &QLineEdit::textChanged, this,
            [this](const QString& t) { overview_.jump(t.toStdString()); });

    recNo_ = new QLabel(this);
    recNo_->setObjectName("Label5");
    count_ = new QLabel(this);
    count_->setObjectName("Label7");

    sortMenu_ = new QMenu(this);
    sortMenu_->setObjectName("MVDBPopup");
    sortMenu_->addActions(sortActions);
    resultMenu_ = new QMenu(this);
    resultMenu_->setObjectName("MVDBPopupSQL");
    auto* print = resultMenu_->addAction("Datenmenge drucken");
    print->setObjectName("Datenmengedrucken1");
    auto* exportAscii = resultMenu_->addAction("Datenmenge exportieren (ASCII)");
    exportAscii->setObjectName("DatenmengeexportierenASCII1");
    connect(print, &QAction::triggered, this, [this] {
        if (hooks_.printResult) hooks_.printResult();
    });
    connect(exportAscii, &QAction::triggered, this, [this] {
        if (hooks_.exportResult) hooks_.exportResult();
    });

    auto* close = button("Schließen", "RxSpeedButton1", this);
    auto* help = button("Hilfe", "RxSpeedButton2", this);
    deleteResult_ = button("Datenmenge löschen", "KriterienLoeschen", this);
    deleteResult_->setVisible(false);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(help, &QPushButton::clicked, this, [this] {
        QDesktopServices::openUrl(
            QUrl::fromLocalFile(QString::fromStdString(helpFolder_ + "b_db_uebersicht.html")));
    });
    connect(deleteResult_, &QPushButton::clicked, this, [this] {
        try {
            overview_.deleteResult();
        } catch (const std::exception& e) {
            ui_.showApplicationError(e.what());
        }
        updatePosition();
    });

    auto* top = new QHBoxLayout;
    top->addWidget(nav_);
    top->addStretch();
    top->addWidget(jumpLabel);
    top->addWidget(jump_);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel("Datensatz", this));
    bottom->addWidget(recNo_);
    bottom->addWidget(new QLabel("von", this));
    bottom->addWidget(count_);
    bottom->addSpacing(20);
    bottom->addWidget(new QLabel("Zum Bearbeiten der Einträge in derTabelle doppelklicken", this));
    bottom->addStretch();
    bottom->addWidget(deleteResult_);
    bottom->addWidget(close);
    bottom->addWidget(help);
    layout_ = new QVBoxLayout(this);
    layout_->addLayout(top);
    layout_->addLayout(bottom);

    Overview::View v;
    v.show = [this](bool modal) { showWindow(modal); };
    v.modeChanged = [this] { follow(); };
    v.openEntry = [this] {
        if (hooks_.openEntry) hooks_.openEntry();
    };
    overview_.setView(std::move(v));
    follow();
    resize(900, 480);
}

TDBUeber::~TDBUeber() {
    overview_.setView({});
    nav_->setDataSource(nullptr);
}

void TDBUeber::follow() {
    document::DataSource& source = overview_.shown();
    if (&source != gridSource_) {
        // A grid belongs to one data source: the mode's own is made afresh.
        delete grid_;
        grid_ = new document::RecordGrid(source, overviewColumns(), windowTitle(), this);
        grid_->setObjectName("Uebersicht");
        grid_->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(grid_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
            (overview_.resultMode() ? resultMenu_ : sortMenu_)->popup(grid_->mapToGlobal(at));
        });
        connect(grid_, &QAbstractItemView::doubleClicked, this,
                [this] { overview_.doubleClicked(); });
        connect(grid_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                [this] { updatePosition(); });
        grid_->installEventFilter(this);
        layout_->insertWidget(1, grid_, 1);
        gridSource_ = &source;
        nav_->setDataSource(&source);
    }
    const auto visible = overview_.navigatorButtons();
    nav_->setVisibleButtons(visible);
    nav_->setFixedSize(25 * static_cast<int>(std::count(visible.begin(), visible.end(), true)), 25);
    jump_->setEnabled(overview_.jumpEnabled());
    deleteResult_->setVisible(overview_.deleteVisible());
    updatePosition();
}

void TDBUeber::updatePosition() {
    const auto [n, m] = overview_.position();
    recNo_->setText(QString::number(n));
    count_->setText(QString::number(m));
}

QString TDBUeber::positionText() const {
    return "Datensatz " + recNo_->text() + " von " + count_->text();
}

void TDBUeber::showWindow(bool modal) {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    // Qt changes the modality of a hidden window only: a window shown the other way is closed
    // first (an open overview before the full search's result; a waiting result that the
    // entry window's "Übersicht" turns into the catalog, which ends that wait).
    const Qt::WindowModality wanted = modal ? Qt::ApplicationModal : Qt::NonModal;
    if (windowModality() != wanted) {
        if (isVisible()) hide();
        setWindowModality(wanted);
    }
    document::centreOnScreen(this);
    if (!modal) {
        show();
        raise();
        activateWindow();
        return;
    }
    // The full search waits until its result is closed.
    QEventLoop wait;
    connect(this, &TDBUeber::hidden, &wait, &QEventLoop::quit);
    show();
    raise();
    activateWindow();
    wait.exec();
    if (!isVisible()) setWindowModality(Qt::NonModal);
}

void TDBUeber::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    emit hidden();
}

void TDBUeber::closeEvent(QCloseEvent* e) {
    overview_.closed();
    QWidget::closeEvent(e);
}

void TDBUeber::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(e);
}

bool TDBUeber::eventFilter(QObject* watched, QEvent* e) {
    // Ctrl+Del deletes the catalog's current record as the navigator's "Löschen" does (its
    // question first, the undo journal keeps a copy); a search result is not deleted this way.
    if (watched == grid_ && e->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(e);
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::ControlModifier) {
            RecordNavigator& nav = nav_->navigator();
            if (!overview_.resultMode() && nav.buttonEnabled(NavButton::Delete)) {
                try {
                    nav.click(NavButton::Delete);
                } catch (const std::exception& error) {
                    ui_.showApplicationError(error.what());
                }
                updatePosition();
            }
            return true;
        }
    }
    return QWidget::eventFilter(watched, e);
}

void TDBUeber::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange && isActiveWindow()) follow();
    QWidget::changeEvent(e);
}

}  // namespace mv32::edit
