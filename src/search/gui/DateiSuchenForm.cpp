#include "search/gui/DateiSuchenForm.h"
#include "document/gui/WindowParts.h"

#include <QAction>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace mv32::search {

namespace {

std::vector<document::GridColumn> fileColumns() {
    const struct {
        const char* field;
        int width;
        Qt::Alignment align;
    } fields[] = {
        {"Dateiname", 156, Qt::AlignLeft},   {"Verzeichnis", 256, Qt::AlignLeft},
        {"Erweiterung", 90, Qt::AlignRight}, {"Groesse", 102, Qt::AlignRight},
        {"Label", 100, Qt::AlignRight},      {"VolID", 80, Qt::AlignHCenter},
    };
    std::vector<document::GridColumn> cols;
    for (const auto& f : fields)
        cols.push_back(document::titledColumn(f.field, f.width, f.align | Qt::AlignVCenter));
    return cols;
}

using document::button;

}  // namespace

TDateiSuchenForm::TDateiSuchenForm(document::UserInterface& ui, Hooks hooks, QWidget* parent)
    : QWidget(parent, Qt::Window), core_(ui), ui_(ui), hooks_(std::move(hooks)) {
    setObjectName("DateiSuchenForm");
    setWindowTitle("Datei suchen");
    setProperty("helpContext", 31);

    label1_ = new QLabel("Geben Sie die zu suchende Datei ein:", this);
    label1_->setObjectName("Label1");
    edit_ = new QLineEdit(this);
    edit_->setObjectName("DateiSuchenEdit");
    edit_->setMaxLength(255);
    label1_->setBuddy(edit_);
    connect(edit_, &QLineEdit::textChanged, this, [this](const QString& t) {
        core_.textChanged(t.toStdString());
        find_->setEnabled(core_.searchEnabled());
        updatePosition();
    });

    nav_ = new edit::TMyDBNavigator97(ui, this);
    nav_->setObjectName("DBN");
    nav_->setHints({"Erste Datei", "Vorige Datei", "Nächste Datei", "Letzte Datei",
                    edit::RecordNavigator::defaultHints()[4], "Löschen"});
    nav_->setConfirmDelete(true);

    auto* label3 = new QLabel(
        "Zum Übernehmen der Einträge in die Hauptdatenbank in der Tabelle doppelklicken", this);
    label3->setObjectName("Label3");
    label3->setStyleSheet("color: red; font-weight: bold;");

    auto* tabs = new QTabWidget(this);
    tabs->setObjectName("PageControl1");
    tabs->setAccessibleName("Suchen, Extras, Hilfe");
    auto* searchTab = new QWidget;
    searchTab->setObjectName("TabSuchen");
    back_ = button("&zurück", "BackBtn", searchTab);
    find_ = button("&Suchen", "BeginSuchenBtn", searchTab);
    find_->setDefault(true);
    back_->setEnabled(false);
    find_->setEnabled(false);
    auto* searchRow = new QHBoxLayout(searchTab);
    searchRow->addWidget(back_);
    searchRow->addWidget(find_);
    searchRow->addStretch();
    auto* extrasTab = new QWidget;
    extrasTab->setObjectName("TabExtras");
    exec_ = button("&Execute", "ExecFile", extrasTab);
    allSelected_ = button("Alle selektierte übernehmen", "AllSelected", extrasTab);
    exec_->setEnabled(false);
    allSelected_->setEnabled(false);
    auto* extrasRow = new QHBoxLayout(extrasTab);
    extrasRow->addWidget(exec_);
    extrasRow->addWidget(allSelected_);
    extrasRow->addStretch();
    auto* helpTab = new QWidget;
    helpTab->setObjectName("TabHilfe");
    auto* help = button("&Hilfe", "Hilfe1", helpTab);
    auto* helpRow = new QHBoxLayout(helpTab);
    helpRow->addWidget(help);
    helpRow->addStretch();
    tabs->addTab(searchTab, "Suchen");
    tabs->addTab(extrasTab, "Extras");
    tabs->addTab(helpTab, "Hilfe");
    tabs->setFixedHeight(tabs->sizeHint().height());

    recNo_ = new QLabel(this);
    recNo_->setObjectName("Label5");
    count_ = new QLabel(this);
    count_->setObjectName("Label7");
    hits_ = new QLabel(this);
    hits_->setObjectName("Treffer");
    auto* close = button("S&chließen", "BitBtn1", this);

    connect(find_, &QPushButton::clicked, this, [this] {
        core_.search(edit_->text().toStdString());
        edit_->setFocus();
    });
    // "&Suchen" is the window's default button: Enter in the search box starts the search.
    connect(edit_, &QLineEdit::returnPressed, this, [this] {
        if (find_->isEnabled()) find_->click();
    });
    connect(back_, &QPushButton::clicked, this, [this] { core_.back(); });
    connect(exec_, &QPushButton::clicked, this, [this] {
        if (auto row = core_.currentRow(); row && hooks_.start) hooks_.start(*row);
    });
    connect(allSelected_, &QPushButton::clicked, this, [this] {
        auto rows = core_.displayed().reader();
        if (rows && hooks_.takeSelected) hooks_.takeSelected(*rows, grid_->selectedRecordNumbers());
    });
    connect(help, &QPushButton::clicked, this, [this] {
        if (hooks_.openHelp) hooks_.openHelp("s_datei_suchen.html");
    });
    connect(close, &QPushButton::clicked, this, [this] { closeWindow(); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setObjectName("EscBtn");
    connect(escape, &QShortcut::activated, this, [this] { closeWindow(); });

    popupFiles_ = makePopup("PopupFiles", "1", true);
    popupFilesSql_ = makePopup("PopupFilesSQL", "2", false);

    auto* top = new QHBoxLayout;
    auto* editColumn = new QVBoxLayout;
    editColumn->addWidget(label1_);
    editColumn->addWidget(edit_);
    top->addLayout(editColumn, 1);
    top->addWidget(nav_, 0, Qt::AlignBottom);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(tabs, 1);
    bottom->addWidget(new QLabel("Datei", this));
    bottom->addWidget(recNo_);
    bottom->addWidget(new QLabel("von", this));
    bottom->addWidget(count_);
    bottom->addSpacing(12);
    bottom->addWidget(hits_);
    bottom->addSpacing(12);
    bottom->addWidget(close, 0, Qt::AlignBottom);
    layout_ = new QVBoxLayout(this);
    layout_->addLayout(top);
    layout_->addWidget(label3);
    layout_->addLayout(bottom);

    core_.modeChanged = [this] { follow(); };
    follow();
    resize(860, 520);
}

TDateiSuchenForm::~TDateiSuchenForm() {
    core_.modeChanged = nullptr;
    nav_->setDataSource(nullptr);
    delete grid_;
}

QMenu* TDateiSuchenForm::makePopup(const char* name, const char* suffix, bool table) {
    auto* menu = new QMenu(this);
    menu->setObjectName(name);
    const struct {
        const char* caption;
        const char* object;
        FileOrder order;
    } entries[] = {
        {"sortieren nach Dateiname", "sortierennachDateiname", FileOrder::Name},
        {"sortieren nach Verzeichnis", "sortierennachVerzeichnis", FileOrder::Folder},
        {"sortieren nach Erweiterung", "sortierennachErweiterung", FileOrder::Extension},
        {"sortieren nach Größe", "sortierennachGre", FileOrder::Size},
    };
    for (const auto& e : entries) {
        QAction* a = menu->addAction(QString::fromUtf8(e.caption));
        a->setObjectName(QString(e.object) + suffix);
        const FileOrder order = e.order;
        connect(a, &QAction::triggered, this, [this, order, table] {
            if (table)
                core_.sortTable(order);
            else
                core_.sortResult(order);
        });
    }
    return menu;
}

void TDateiSuchenForm::open(const std::string& dataFolder, bool sekIndexActive) {
    // The sort popup follows the setting as it is at each opening.
    core_.setSekIndexActive(sekIndexActive);
    if (!core_.prepared()) {
        edit_->clear();
        core_.prepare(dataFolder, sekIndexActive);
        back_->setEnabled(false);
    }
    document::centreOnScreen(this);
    document::showInFront(this);
    core_.activate();  // offscreen or without a window manager no activation is reported
}

void TDateiSuchenForm::closeWindow() {
    close();
}

QMenu* TDateiSuchenForm::currentPopup() const {
    if (core_.resultMode()) return popupFilesSql_;
    return core_.sortPopup() ? popupFiles_ : nullptr;
}

void TDateiSuchenForm::follow() {
    document::DataSource& source = core_.displayed();
    if (&source != gridSource_) {
        delete grid_;
        grid_ = new document::RecordGrid(source, fileColumns(), windowTitle(), this);
        grid_->setObjectName("DBGrid1");
        grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        grid_->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
        grid_->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(grid_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
            if (QMenu* menu = currentPopup()) menu->popup(grid_->mapToGlobal(at));
        });
        connect(grid_, &QAbstractItemView::doubleClicked, this, [this] {
            if (auto row = core_.currentRow(); row && hooks_.takeOne) hooks_.takeOne(*row);
        });
        // A change of cell inside the grid, by mouse or by key, leaves the cell before and
        // enters the new one; the grid following the cursor (a navigator button, a search)
        // and the focus going to a button change nothing.
        connect(grid_, &QAbstractItemView::pressed, this, [this](const QModelIndex& at) {
            if (at.isValid()) enterCell();
        });
        connect(grid_->selectionModel(), &QItemSelectionModel::currentChanged, this,
                [this](const QModelIndex& now, const QModelIndex& before) {
                    if (grid_->hasFocus() && before.isValid()) leaveCell();
                    if (grid_->hasFocus() && now.isValid()) enterCell();
                    if (!now.isValid()) leaveCell();  // no cell left to be in
                    updatePosition();
                });
        layout_->insertWidget(1, grid_, 1);
        gridSource_ = &source;
        nav_->setDataSource(&source);
        exec_->setEnabled(false);
        allSelected_->setEnabled(false);
    }
    const auto visible = core_.navigatorButtons();
    nav_->setVisibleButtons(visible);
    nav_->setFixedSize(25 * static_cast<int>(std::count(visible.begin(), visible.end(), true)), 25);
    const bool result = core_.resultMode();
    back_->setEnabled(result);
    edit_->setEnabled(!result);
    label1_->setEnabled(!result);
    find_->setEnabled(core_.searchEnabled());
    updatePosition();
}

void TDateiSuchenForm::updatePosition() {
    const auto [n, m] = core_.position();
    recNo_->setText(QString::number(n));
    count_->setText(QString::number(m));
    // The box keeps the file list's record; a result tells its size beside it.
    QString hits;
    if (core_.resultMode() && core_.resultSource().active()) {
        try {
            hits = QString("Treffer: %1").arg(core_.resultSource().cursor()->recordCount());
        } catch (const std::exception&) {
        }
    }
    hits_->setText(hits);
    hits_->setVisible(!hits.isEmpty());
}

QString TDateiSuchenForm::hitsText() const {
    return hits_->text();
}

void TDateiSuchenForm::leaveCell() {
    exec_->setEnabled(false);
    allSelected_->setEnabled(false);
}

void TDateiSuchenForm::enterCell() {
    exec_->setEnabled(true);
    allSelected_->setEnabled(true);
}

QString TDateiSuchenForm::positionText() const {
    return "Datei " + recNo_->text() + " von " + count_->text();
}

void TDateiSuchenForm::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    core_.showing();
}

void TDateiSuchenForm::closeEvent(QCloseEvent* e) {
    core_.closed();
    QWidget::closeEvent(e);
}

void TDateiSuchenForm::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange && isActiveWindow()) core_.activate();
    QWidget::changeEvent(e);
}

}  // namespace mv32::search
