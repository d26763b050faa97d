#include "app/gui/Mavrel32Main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QProgressBar>
#include <QShortcut>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <exception>

#include "app/gui/AccessibleWindows.h"
#include "app/gui/Einstellungen.h"
#include "app/gui/InfoWindow.h"
#include "app/gui/WaitWindow.h"
#include "document/Catalog.h"
#include "document/SettingsDialogModel.h"
#include "document/gui/WindowParts.h"
#include "exchange/gui/ExportDialog.h"
#include "platform/Paths.h"
#include "report/gui/QREinstell.h"
#include "report/gui/ReportPreview.h"
#include "search/FileStart.h"
#include "search/FileTakeOver.h"
#include "search/gui/Laufwerk.h"

namespace mv32::app {

using document::ControlState;

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

QString keyText(const char* key) {
    return QKeySequence(key).toString(QKeySequence::NativeText);
}

// The toolbar's pictures, by the buttons' object names.
QStyle::StandardPixmap iconOf(const std::string& button) {
    static const std::map<std::string, QStyle::StandardPixmap> icons = {
        {"OeffnenBtn", QStyle::SP_DialogOpenButton},
        {"SpeichernBtn", QStyle::SP_DialogSaveButton},
        {"ScanBtn", QStyle::SP_DriveHDIcon},
        {"EingabeBtn", QStyle::SP_FileDialogNewFolder},
        {"UebersichtBtn", QStyle::SP_FileDialogDetailedView},
        {"SuchenBtn", QStyle::SP_FileDialogContentsView},
        {"DruckenBtn", QStyle::SP_FileIcon},
        {"EinstellBtn", QStyle::SP_ComputerIcon},
        {"HilfeBtn", QStyle::SP_DialogHelpButton},
        {"BeendenBtn", QStyle::SP_DialogCloseButton},
    };
    auto it = icons.find(button);
    return it == icons.end() ? QStyle::SP_FileIcon : it->second;
}

// The desktop's "open" of a file in its folder: xdg-open, which reports a file without an
// associated program by its exit status. A handler that keeps xdg-open running longer than a
// moment has started, which is success.
bool openWithDesktop(const std::string& file, const std::string& folder) {
    auto* p = new QProcess(qApp);
    p->setWorkingDirectory(q(folder));
    QObject::connect(p, &QProcess::finished, p, &QObject::deleteLater);
    QObject::connect(p, &QProcess::errorOccurred, p, &QObject::deleteLater);
    p->start("xdg-open", {q(file)});
    if (!p->waitForStarted(3000)) return false;
    if (p->waitForFinished(1500))
        return p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0;
    return true;
}

const CommandDef& defOf(Command id) {
    for (const auto& def : commands()) {
        if (def.id == id) return def;
    }
    throw std::logic_error("Befehl ohne Eintrag");
}

}  // namespace

TMavrel32Main::TMavrel32Main(Options options, QWidget* parent)
    : QMainWindow(parent),
      ui_(*this),
      program_(std::make_unique<Program>(std::move(options), ui_, invoker_)) {
    prepareWindows();
    setObjectName("Mavrel32Main");
    setWindowTitle("Mavrel/32 V3.20");
    program_->shell().backgroundScanRunning = [this] {
        const scan::TProgrammdateneinlesen* dialog = scanDialog_.data();
        return program_->scanFlags().background.load() || (dialog && dialog->scanning());
    };

    buildMenus();
    buildPopup();
    buildToolbar();
    buildStatusBar();
    buildTray();
    autoSaveTimer_.setObjectName("AutoSaveTimer");
    autoSaveTimer_.setInterval(document::kInitialAutoSaveIntervalMs);
    connect(&autoSaveTimer_, &QTimer::timeout, this,
            [this] { program_->guarded([this] { program_->autoSave().timerFired(); }); });
    autoSaveTimer_.start();

    // Escape runs the exit command, like the hidden button of the window.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setObjectName("EscapeBtn");
    connect(escape, &QShortcut::activated, this, [this] { exitCommand(); });

    program_->scanCommand = [this] { ScanBtnClick(); };
    shellOpen = openWithDesktop;
    program_->start([this] { EinstellungenClick(); });
    if (program_->settings().NoFun) {  // no wallpaper, no picture strip
        toolbar_->setStyleSheet({});
        strip_->hide();
    }
    setWindowState(windowState() | Qt::WindowMaximized);
}

TMavrel32Main::~TMavrel32Main() {
    if (scanDialog_) {
        program_->scanFlags().cancel = true;
        scanDialog_->finishScan();
        delete scanDialog_;  // before the program it shows, not with the window's children
    }
    // The data windows let go of the program's data sources before the program goes.
    delete overview_;
    delete tree_;
    delete removal_;
    delete search_;
    delete freeSpace_;
    delete range_;
    delete fileSearch_;
    delete entry_;
    program_->dropEntryForm();
    delete undoForm_;
    program_->finish();
}

void TMavrel32Main::EingabeItemClick() {
    const auto& st = document().state();
    if (!st.CatalogOpen || st.TreeBuilding) return;
    if (entry_) {
        entry_->reopen();
        return;
    }
    makeEntryWindow(true);
    entry_->reopen();
}

void TMavrel32Main::makeEntryWindow(bool prepare) {
    entry_ = new edit::TProgrammdateneingeben(
        [this, prepare](edit::EntryForm::View view) -> edit::EntryForm& {
            return program_->makeEntryForm(
                std::move(view), [this] { UebersichtBtnClick(); }, prepare);
        },
        program_->catalogSource(), ui_, program_->helpFolder(), this);
}

void TMavrel32Main::UebersichtBtnClick() {
    if (!document().state().CatalogOpen) return;
    makeOverviewWindow();
    // From an entry window that is modal over the full search's result: the result becomes
    // the catalog, no longer waited for, and both windows stay usable side by side.
    const bool entryOverResult = entry_ && entry_->isVisible() && entry_->isModal();
    if (entryOverResult) entry_->hide();
    program_->guarded([this] { program_->overview().openNormal(); });
    if (entryOverResult) entry_->reopen();
}

void TMavrel32Main::makeOverviewWindow() {
    if (!overview_) {
        QList<QAction*> sort{sortByName_};
        for (const auto& ix : document::kSecondaryIndexes) sort << sortItems_[ix.name];
        edit::TDBUeber::Hooks hooks;
        hooks.openEntry = [this] {
            // From the grid: made without the pick lists and the entry stamp.
            if (!entry_) makeEntryWindow(false);
            entry_->reopen(true);
        };
        hooks.exportResult = [this] { exportText(exchange::ExportKind::TextResult); };
        hooks.printResult = [this] { printList(true); };
        overview_ = new edit::TDBUeber(program_->overview(), ui_, sort, std::move(hooks),
                                       program_->helpFolder(), this);
    }
}

void TMavrel32Main::UebersichtItemClick() {
    const auto& st = document().state();
    if (!st.CatalogOpen || st.TreeBuilding) return;
    if (!tree_) {
        tree_ = new edit::TUebersicht(
            program_->categoryTree(),
            [this] {
                // From the tree: the entry window as "&Eingabe..." makes it.
                if (!entry_) makeEntryWindow(true);
                entry_->reopen();
            },
            this);
    }
    document::centreOnScreen(tree_);
    document::showInFront(tree_);
}

void TMavrel32Main::Entfernen1Click() {
    releaseFileList();
    if (!removal_)
        removal_ = new edit::TAuswahl(program_->mediumRemoval(), program_->helpFolder(), this);
    removal_->open();
}

void TMavrel32Main::SuchenMenuClick() {
    const auto& st = document().state();
    if (!st.CatalogOpen || st.TreeBuilding) return;
    if (!search_) {
        search_ = new search::TSuchenDialog(
            [this](const search::FullSearchCriteria& c) {
                if (c.empty()) return;
                makeOverviewWindow();
                program_->guarded(
                    [&] { search::runFullSearch(document(), program_->overview(), c); });
            },
            document().state().ProgramDir, program_->helpFolder(), this);
        search_->showError = [this](const std::string& text) { ui_.showApplicationError(text); };
    }
    search_->open();
}

void TMavrel32Main::FreienSpeichersuchenItemClick() {
    const auto& st = document().state();
    if (!st.CatalogOpen || st.TreeBuilding) return;
    makeOverviewWindow();
    if (!freeSpace_) {
        freeSpace_ = new search::Tspeichersuchen(
            [this](search::FreeSpaceCompare c, const std::string& kb, bool withoutZero) {
                return search::runFreeSpace(document(), program_->overview(), c, kb, withoutZero);
            },
            program_->helpFolder(), this);
    }
    freeSpace_->open();
}

void TMavrel32Main::BereichsuchenItemClick() {
    const auto& st = document().state();
    if (!st.CatalogOpen || st.TreeBuilding) return;
    if (!range_) {
        range_ = new search::TBereichSuchen(
            [this](const std::string& from, const std::string& to, const std::string& medium) {
                makeOverviewWindow();
                return search::runRange(document(), program_->overview(), from, to, medium);
            },
            program_->helpFolder(), this);
    }
    range_->open();
}

void TMavrel32Main::Undo1Click() {
    if (!undoForm_) {
        undoForm_ = new edit::TUndoForm(program_->journal(), program_->undoSource(), ui_,
                                        program_->helpFolder(), this);
    }
    document::centreOnScreen(undoForm_);
    document::showInFront(undoForm_);
}

void TMavrel32Main::DateisuchenItemClick() {
    const scan::TProgrammdateneinlesen* dialog = scanDialog_.data();
    if (program_->scanFlags().background || (dialog && dialog->scanning())) return;
    if (!fileSearch_) {
        search::TDateiSuchenForm::Hooks hooks;
        hooks.takeOne = [this](const search::FileRow& file) { takeOver().takeOne(file); };
        hooks.takeSelected = [this](engine::Cursor& rows, const std::vector<int64_t>& numbers) {
            takeOver().takeSelected(rows, numbers);
        };
        hooks.start = [this](const search::FileRow& file) {
            search::FileStarter starter{ui_,
                                        shellOpen,
                                        [this]() -> std::optional<platform::Volume> {
                                            search::TLaufwerk choice(
                                                program_->scanDriver().drives(), fileSearch_);
                                            return choice.choose();
                                        },
                                        {}};
            search::startFile(starter, file);
        };
        hooks.openHelp = [this](const QString& page) { openHelpPage(page); };
        fileSearch_ = new search::TDateiSuchenForm(ui_, std::move(hooks), this);
    }
    const auto& s = program_->settings();
    fileSearch_->open(s.DatenbankPfad, s.SekIndexActive);
}

search::FileTakeOver TMavrel32Main::takeOver() {
    return search::FileTakeOver(program_->document(), program_->catalogSource(), [this] {
        // The new record in the entry window, made as "&Eingabe..." makes it.
        if (!entry_) makeEntryWindow(true);
        entry_->reopen();
    });
}

void TMavrel32Main::releaseFileList() {
    // The file search holds the file list while it is shown: its close lets it go.
    search::TDateiSuchenForm* f = fileSearch_.data();
    if (f && f->isVisible()) f->closeWindow();
}

void TMavrel32Main::exportText(exchange::ExportKind kind) {
    exchange::ExportCommands& exports = program_->exports();
    if (!exports.possible()) return;
    engine::Cursor* result = nullptr;
    if (kind == exchange::ExportKind::TextResult) {
        result = &program_->overview().MV32SQL();
        if (!result->active()) return;
    }
    // The dialog belongs to the window in front: the overview for a result.
    QWidget* parent = result && overview_ ? static_cast<QWidget*>(overview_) : this;
    std::optional<exchange::ExportChoice> choice;
    {
        exchange::TExportDialog dialog(
            kind, [this](const char* page) { openHelpPage(page); }, parent);
        choice = dialog.ask();
    }
    if (!choice) return;
    program_->guarded([&] {
        if (kind == exchange::ExportKind::Html)
            exports.htmlExport(*choice);
        else
            exports.textExport(*choice, result);
    });
}

void TMavrel32Main::printList(bool result) {
    if (!document().state().CatalogOpen) return;
    engine::Cursor* rows = nullptr;
    if (result) {
        rows = &program_->overview().MV32SQL();
        if (!rows->active()) return;
    }
    QWidget* parent = result && overview_ ? static_cast<QWidget*>(overview_) : this;
    QString margin, columns;
    report::Paper paper{};
    {
        report::TQREinstell settings(parent);
        if (settings.exec() != QDialog::Accepted) return;
        margin = settings.margin();
        columns = settings.columns();
        paper = settings.paper();
    }
    report::PreviewHooks hooks;
    // The dialog, the refusal of the catalog's own files and the question before replacing.
    hooks.askPdfPath = [this] { return program_->exports().askPdfTarget(); };
    hooks.showError = [this](const std::string& text) { ui_.showApplicationError(text); };
    hooks.shown = previewShown;
    // Printing into a file proposes the catalog's name in the folder of the last file dialog.
    hooks.printFileName =
        document().dialogFolder() +
        platform::fileNameOf(document::catalogBase(document().MV32().filePath())) + ".pdf";
    hooks.printDialog = printDialog;
    hooks.targetAllowed = [this](const std::string& path) {
        return program_->exports().targetAllowed(path);
    };
    program_->guarded([&] {
        program_->exports().print(margin.toStdString(), columns.toStdString(), paper,
                                  report::printerPage(paper), rows,
                                  [&](engine::Cursor& list, const report::ReportSettings& s) {
                                      report::showPreview(list, s, hooks, parent);
                                      return true;
                                  });
    });
}

void TMavrel32Main::ScanBtnClick() {
    releaseFileList();
    if (program_->scanFlags().background) {
        showMessage(this, document::MessageKind::Warnung,
                    "Der Scanthread ist noch im Hintergrund aktiv!", document::Buttons::Abbrechen);
        return;
    }
    if (program_->settings().DatenbankPfad.empty()) EinstellungenClick();
    if (!scanDialog_) {
        scan::TProgrammdateneinlesen::Hooks hooks;
        hooks.scanBackground = [this] { return program_->settings().ScanBackground; };
        hooks.dataFolder = [this] { return program_->settings().DatenbankPfad; };
        hooks.openHelp = [this](const QString& page) { openHelpPage(page); };
        hooks.hideMainWindow = [this](bool hide) { setVisible(!hide); };
        scanDialog_ = new scan::TProgrammdateneinlesen(program_->scanDriver(),
                                                       program_->scanFlags(), hooks, this);
    }
    // From an entry window that is modal over a search result, the dialog is modal over it.
    document::keepOnScreen(scanDialog_);
    document::showInFront(scanDialog_);
}

void TMavrel32Main::trigger(const CommandDef& def) {
    switch (def.id) {
        case Command::Beenden:
            exitCommand();
            return;
        case Command::Scannen:
            ScanBtnClick();
            return;
        case Command::Einstellungen:
            EinstellungenClick();
            return;
        case Command::Hilfe:
            openHelpPage("index.html");
            return;
        case Command::HilfeSeite:
            openHelpPage(def.page);
            return;
        case Command::Info:
            showInfo();
            return;
        case Command::Eingabe:
            EingabeItemClick();
            return;
        case Command::DBUebersicht:
            UebersichtBtnClick();
            return;
        case Command::GrosseSuche:
            SuchenMenuClick();
            return;
        case Command::FreienSpeicher:
            FreienSpeichersuchenItemClick();
            return;
        case Command::Bereich:
            BereichsuchenItemClick();
            return;
        case Command::UserSql:
            // The result shows in the overview, which must be there first.
            if (!document().state().CatalogOpen) return;
            makeOverviewWindow();
            program_->guarded([this] { program_->run(Command::UserSql); });
            return;
        case Command::Treeview:
            UebersichtItemClick();
            return;
        case Command::Entfernen:
            Entfernen1Click();
            return;
        case Command::Undo:
            Undo1Click();
            return;
        case Command::DateiSuchen:
            DateisuchenItemClick();
            return;
        case Command::Drucken:
            printList(false);
            return;
        case Command::ExportAscii:
            exportText(exchange::ExportKind::Text);
            return;
        case Command::ExportHtml:
            exportText(exchange::ExportKind::Html);
            return;
        default:
            program_->guarded([&] { program_->run(def.id); });
    }
}

QAction* TMavrel32Main::makeAction(const CommandDef& def, QMenu* menu) {
    auto* a = menu->addAction(QString::fromUtf8(def.caption));
    a->setObjectName(def.objectName);
    if (*def.key) a->setShortcut(QKeySequence(def.key));
    a->setStatusTip(QString::fromUtf8(def.hint));
    a->setProperty("helpContext", def.helpContext);
    a->setEnabled(enabledBy(def.rule, undoEnabled_));
    if (def.rule == Rule::WithJournal) journalled_.push_back(a);
    if (def.sharedKey) {
        // The key belongs to another item, which answers it; this caption only shows it.
        a->setProperty("sharedShortcut", QString(def.sharedKey));
        a->setText(a->text() + "\t" + keyText(def.sharedKey));
    }
    connect(a, &QAction::triggered, this, [this, &def] { trigger(def); });
    if (def.rule != Rule::Always) ruled_.emplace_back(a, def.rule);
    return a;
}

void TMavrel32Main::buildMenu(QMenu* menu, const std::vector<MenuEntry>& entries) {
    using K = MenuEntry::Kind;
    for (const auto& e : entries) {
        switch (e.kind) {
            case K::Item:
                makeAction(commandDef(e.objectName), menu);
                break;
            case K::Separator: {
                auto* sep = menu->addSeparator();
                if (e.objectName) sep->setObjectName(e.objectName);
                if (e.rule != Rule::Always) ruled_.emplace_back(sep, e.rule);
                break;
            }
            case K::Submenu: {
                auto* sub = menu->addMenu(QString::fromUtf8(e.caption));
                sub->setObjectName(e.objectName);
                if (e.rule != Rule::Always) ruled_.emplace_back(sub->menuAction(), e.rule);
                buildMenu(sub, e.entries);
                break;
            }
            case K::RecentFiles:
                mruSeparator_ = menu->addSeparator();
                for (size_t i = 0; i < mru_.size(); ++i) {
                    mru_[i] = menu->addAction(QString());
                    mru_[i]->setObjectName(QString("MRU%1").arg(i + 1));
                    mru_[i]->setVisible(false);
                    connect(mru_[i], &QAction::triggered, this, [this, i] {
                        const auto paths = program_->document().recentFiles().paths();
                        if (i < paths.size())
                            program_->guarded(
                                [this, p = paths[i]] { program_->document().openLastFile(p); });
                    });
                }
                break;
        }
    }
}

void TMavrel32Main::buildMenus() {
    for (const auto& m : app::menuBar()) {
        auto* menu = QMainWindow::menuBar()->addMenu(QString::fromUtf8(m.caption));
        menu->setObjectName(m.objectName);
        if (m.rule != Rule::Always) ruled_.emplace_back(menu->menuAction(), m.rule);
        buildMenu(menu, m.entries);
    }
    // The sort items of the overview follow the index settings; they are kept here so that
    // the settings can switch them before the overview exists.
    sortByName_ = new QAction("Sortieren nach Name", this);
    sortByName_->setObjectName("Name1");
    connect(sortByName_, &QAction::triggered, this,
            [this] { program_->guarded([this] { program_->overview().sortBy(""); }); });
    for (const auto& ix : document::kSecondaryIndexes) {
        auto* a = new QAction(QString::fromUtf8(ix.sortItem), this);
        a->setObjectName(QString(ix.name) + "Item");
        const std::string name = ix.name;
        connect(a, &QAction::triggered, this, [this, name] {
            program_->guarded([this, name] { program_->overview().sortBy(name); });
        });
        sortItems_[ix.name] = a;
    }
}

void TMavrel32Main::buildPopup() {
    popup_ = new QMenu(this);
    popup_->setObjectName("PopupMenu1");
    std::map<std::string, QMenu*> submenus;
    for (const auto& p : popupMenu()) {
        if (p.separatorBefore) popup_->addSeparator();
        QMenu* menu = popup_;
        if (p.submenu) {
            auto& sub = submenus[p.submenu];
            if (!sub) sub = popup_->addMenu(p.submenu);
            menu = sub;
        }
        QString text = QString::fromUtf8(p.caption);
        if (p.key) text += "\t" + keyText(p.key);
        auto* a = menu->addAction(text);
        if (p.objectName) a->setObjectName(p.objectName);
        if (p.rule != Rule::Always) ruled_.emplace_back(a, p.rule);
        const CommandDef& def = defOf(p.id);
        connect(a, &QAction::triggered, this, [this, &def] { trigger(def); });
        if (p.windowKey) {
            // A key only the context menu shows answers in the whole window.
            auto* key = new QAction(this);
            key->setShortcut(QKeySequence(p.key));
            connect(key, &QAction::triggered, this, [this, &def] {
                if (state_ == ControlState::CatalogOpen) trigger(def);
            });
            addAction(key);
        }
    }
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (state_ == ControlState::CatalogOpen) popup_->popup(mapToGlobal(at));
    });
}

void TMavrel32Main::buildToolbar() {
    toolbar_ = new QWidget(this);
    toolbar_->setObjectName("ToolBar1");
    toolbar_->setFixedHeight(53);
    for (size_t i = 0; i < toolbar().size(); ++i) {
        const auto& def = toolbar()[i];
        auto* b = new QToolButton(toolbar_);
        b->setObjectName(def.objectName);
        b->setText(QString::fromUtf8(def.caption));
        b->setToolTip(QString::fromUtf8(def.hint));
        b->setStatusTip(QString::fromUtf8(def.hint));
        b->setAccessibleName(QString::fromUtf8(def.caption));
        b->setProperty("section", QString::fromUtf8(def.section));
        b->setIcon(style()->standardIcon(iconOf(def.objectName)));
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setAutoRaise(true);
        b->setFixedSize(57, 47);
        QFont small = b->font();  // the captions fit the narrow buttons
        small.setPointSizeF(small.pointSizeF() * 0.8);
        b->setFont(small);
        const CommandDef& command = defOf(def.id);
        connect(b, &QToolButton::clicked, this, [this, &command] { trigger(command); });
        buttons_[i] = b;
    }
    auto* central = new QWidget(this);
    central->setObjectName("Hauptfenster");
    setCentralWidget(central);
    toolbar_->setParent(central);
    toolbar_->setStyleSheet(
        "#ToolBar1 { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, "
        "stop:0 #dfe7f2, stop:1 #b7c6dc); }");
    // The picture strip across the bottom of the window.
    strip_ = new QLabel("Mavrel/32  ·  Datenträger katalogisieren", central);
    strip_->setObjectName("AnimationStrip");
    strip_->setAlignment(Qt::AlignCenter);
    strip_->setFixedHeight(22);
    strip_->setStyleSheet(
        "background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #1c2a4a, "
        "stop:0.5 #3d5a8c, stop:1 #1c2a4a); color: #dfe7f2;");
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolbar_);
    layout->addStretch(1);
    layout->addWidget(strip_);
    toolbar_->setAttribute(Qt::WA_StyledBackground);
}

void TMavrel32Main::buildStatusBar() {
    auto* bar = statusBar();
    bar->setObjectName("StatusBar1");
    bar->setSizeGripEnabled(false);
    const int widths[] = {350, 60, 30, 120, 500};
    for (size_t i = 0; i < panels_.size(); ++i) {
        auto* l = new QLabel(bar);
        l->setObjectName(QString("Panel%1").arg(i));
        l->setFixedWidth(widths[i]);
        l->setFrameShape(QFrame::Panel);
        l->setFrameShadow(QFrame::Sunken);
        bar->addWidget(l);
        panels_[i] = l;
    }
    // The progress bar lies over panel 0 while files are copied.
    progress_ = new QProgressBar(panels_[0]);
    progress_->setObjectName("ProgressBar1");
    progress_->setAccessibleName("Fortschritt");
    progress_->setGeometry(0, 0, 350, 18);
    progress_->setTextVisible(false);
    progress_->hide();
    // The busy animation sits in the small panel beside the state text.
    busy_ = new QProgressBar(panels_[2]);
    busy_->setObjectName("BusyAnimation");
    busy_->setAccessibleName("Beschäftigt");
    busy_->setRange(0, 0);
    busy_->setTextVisible(false);
    busy_->setGeometry(2, 3, 26, 12);
    busy_->hide();
    panels_[3]->setAlignment(Qt::AlignCenter);
}

void TMavrel32Main::buildTray() {
    tray_ = new QSystemTrayIcon(style()->standardIcon(QStyle::SP_DriveCDIcon), this);
    tray_->setObjectName("TrayIcon1");
    tray_->setToolTip("Mavrel/32");
    auto* menu = new QMenu(this);
    menu->setObjectName("TrayPopUp");
    auto restoreWindow = [this] {
        tray_->hide();
        showMaximized();
        activateWindow();
    };
    for (const auto& item : trayMenu()) {
        auto* a = menu->addAction(QString::fromUtf8(item.caption));
        a->setEnabled(enabledBy(item.rule));
        if (item.id == Command::Wiederherstellen)
            connect(a, &QAction::triggered, this, restoreWindow);
        else if (item.id == Command::Verlassen)
            connect(a, &QAction::triggered, this, [this] { close(); });
    }
    connect(tray_, &QSystemTrayIcon::activated, this,
            [restoreWindow](QSystemTrayIcon::ActivationReason r) {
                if (r == QSystemTrayIcon::DoubleClick || r == QSystemTrayIcon::Trigger)
                    restoreWindow();
            });
    tray_->setContextMenu(menu);
}

void TMavrel32Main::handleCommandLineOnce() {
    if (commandLineHandled_) return;
    commandLineHandled_ = true;
    auto after = ProgramShell::AfterCommandLine::Nothing;
    program_->guarded([&] { after = program_->shell().handleCommandLine(); });
    if (after == ProgramShell::AfterCommandLine::CloseFailed) exitStatus_ = 1;
    if (after == ProgramShell::AfterCommandLine::Close ||
        after == ProgramShell::AfterCommandLine::CloseFailed)
        QTimer::singleShot(0, this, [this] { close(); });
    else if (after == ProgramShell::AfterCommandLine::ShowNormal)
        showNormal();
}

void TMavrel32Main::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    if (!commandLineHandled_) QTimer::singleShot(0, this, [this] { handleCommandLineOnce(); });
}

bool TMavrel32Main::event(QEvent* e) {
    // Hints of menu items and buttons go to status panel 0.
    if (e->type() == QEvent::StatusTip) {
        setPanelText(0, static_cast<QStatusTipEvent*>(e)->tip());
        return true;
    }
    return QMainWindow::event(e);
}

void TMavrel32Main::closeEvent(QCloseEvent* e) {
    bool may = false;
    program_->guarded([&] { may = program_->shell().FormCloseQuery(); });
    if (may) {
        tray_->hide();
        e->accept();
    } else {
        e->ignore();
    }
}

void TMavrel32Main::changeEvent(QEvent* e) {
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized) &&
        QSystemTrayIcon::isSystemTrayAvailable()) {
        // Minimised: the window leaves the task bar for the notification area.
        QTimer::singleShot(0, this, [this] {
            tray_->show();
            hide();
        });
    }
}

void TMavrel32Main::exitCommand() {
    if (program_->document().state().TreeBuilding) return;
    close();
}

void TMavrel32Main::EinstellungenClick() {
    releaseFileList();  // packing, emptying or re-indexing the file list needs it
    document::SettingsDialogModel model(program_->document());
    TEinstellungen dialog(model, program_->helpFolder(), this);
    dialog.exec();
}

void TMavrel32Main::showInfo() {
    TInfo info(this);
    info.exec();
}

void TMavrel32Main::openHelpPage(const QString& page) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(q(program_->helpFolder()) + page));
}

// --- Used by the port ---------------------------------------------------------------------------

void TMavrel32Main::setPanelText(int panel, const QString& text) {
    if (panel >= 0 && panel < static_cast<int>(panels_.size()))
        panels_[static_cast<size_t>(panel)]->setText(text);
}

QString TMavrel32Main::panelText(int panel) const {
    return panel >= 0 && panel < static_cast<int>(panels_.size())
               ? panels_[static_cast<size_t>(panel)]->text()
               : QString();
}

void TMavrel32Main::applyRules() {
    for (auto& [action, rule] : ruled_)
        action->setVisible(visibleIn(rule, state_, fileSearchVisible_));
    const bool highDpi = logicalDpiX() > 100;
    const auto pos = toolbarPositions(state_, highDpi);
    for (size_t i = 0; i < buttons_.size(); ++i) {
        const bool visible = visibleIn(toolbar()[i].rule, state_, fileSearchVisible_);
        buttons_[i]->setVisible(visible);
        if (visible) buttons_[i]->move(pos[i], 3);
    }
}

void TMavrel32Main::setControlState(ControlState state) {
    state_ = state;
    applyRules();
}

void TMavrel32Main::setUndoEnabled(bool enabled) {
    undoEnabled_ = enabled;
    for (QAction* a : journalled_) a->setEnabled(enabled);
}

void TMavrel32Main::setFileSearchVisible(bool visible) {
    fileSearchVisible_ = visible;
    applyRules();
}

void TMavrel32Main::setSortItemVisible(const std::string& indexName, bool visible) {
    auto it = sortItems_.find(indexName);
    if (it != sortItems_.end()) it->second->setVisible(visible);
}

void TMavrel32Main::setRecentFiles(const std::vector<std::string>& paths) {
    for (size_t i = 0; i < mru_.size(); ++i) {
        const bool has = i < paths.size();
        // No accelerator characters: an "&" in a path is shown as it is.
        if (has) mru_[i]->setText(q(paths[i]).replace("&", "&&"));
        mru_[i]->setVisible(has);
    }
    mruSeparator_->setVisible(!paths.empty());
}

void TMavrel32Main::showProgress(bool visible) {
    progress_->setVisible(visible);
}

void TMavrel32Main::setProgress(int minimum, int maximum, int value) {
    progress_->setRange(minimum, maximum);
    progress_->setValue(value);
}

void TMavrel32Main::showBusy(bool visible) {
    busy_->setVisible(visible);
}

void TMavrel32Main::setRecordLabel(int64_t recNo, int64_t count) {
    panels_[3]->setText(count > 0 || recNo > 0 ? QString("%1 von %2").arg(recNo).arg(count)
                                               : QString());
}

TWaitWindow& TMavrel32Main::waitWindow() {
    if (!wait_) wait_ = new TWaitWindow(this);
    return *wait_;
}

}  // namespace mv32::app
