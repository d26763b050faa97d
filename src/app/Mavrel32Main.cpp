#include "app/Mavrel32Main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <exception>

#include "app/Einstellungen.h"
#include "app/InfoWindow.h"
#include "app/WaitWindow.h"
#include "document/Catalog.h"
#include "document/SettingsDialogModel.h"
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "scan/gui/Programmdateneinlesen.h"

namespace mv32::app {

using document::ControlState;

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

struct ButtonDef {
    const char* objectName;
    const char* caption;
    const char* section;
    const char* hint;
    QStyle::StandardPixmap icon;
};

// The ten toolbar buttons in their order.
const std::array<ButtonDef, 10> kButtons = {{
    {"OeffnenBtn", "Öffnen", "Datei", "Öffnen", QStyle::SP_DialogOpenButton},
    {"SpeichernBtn", "Speichern", "Datei", "Speichern", QStyle::SP_DialogSaveButton},
    {"ScanBtn", "Scannen", "Bearbeiten", "Laufwerk scannen", QStyle::SP_DriveHDIcon},
    {"EingabeBtn", "Eingabe", "Bearbeiten", "Eingabe", QStyle::SP_FileDialogNewFolder},
    {"UebersichtBtn", "Übersicht", "Bearbeiten", "Übersicht", QStyle::SP_FileDialogDetailedView},
    {"SuchenBtn", "Suchen", "Suchen", "Suchen", QStyle::SP_FileDialogContentsView},
    {"DruckenBtn", "Drucken", "Drucken", "Drucken", QStyle::SP_FileIcon},
    {"EinstellBtn", "Einstell.", "Extras", "Programmeinstellungen", QStyle::SP_ComputerIcon},
    {"HilfeBtn", "Hilfe", "Hilfe", "Hilfe", QStyle::SP_DialogHelpButton},
    {"BeendenBtn", "Beenden", "Beenden", "Beenden", QStyle::SP_DialogCloseButton},
}};

// Buttons hidden without a catalog: Speichern, Eingabe, Übersicht, Suchen, Drucken.
bool hiddenWithoutCatalog(size_t i) {
    return i == 1 || i == 3 || i == 4 || i == 5 || i == 6;
}

// Three pairs of items share a key; the item named here shows the key in its caption while the
// other item of the pair answers it ("Einstellungen", "Bereich", "Freien Speicher").
QAction* sharedShortcut(QAction* a, const char* key) {
    a->setProperty("sharedShortcut", QString(key));
    a->setText(a->text() + "\t" + QKeySequence(key).toString(QKeySequence::NativeText));
    return a;
}

// The keys of the context menu, shown in its captions.
QAction* popupItem(QMenu* menu, const QString& caption, const char* key = nullptr) {
    QString text = caption;
    if (key) text += "\t" + QKeySequence(key).toString(QKeySequence::NativeText);
    return menu->addAction(text);
}

}  // namespace

std::array<int, 10> TMavrel32Main::toolbarPositions(ControlState state, bool highDpi) {
    if (state == ControlState::CatalogOpen) return {3, 60, 117, 174, 231, 288, 345, 402, 459, 516};
    // Öffnen stays; Scannen, Einstell., Hilfe, Beenden move together. Hidden buttons keep -1.
    if (highDpi) return {3, -1, 70, -1, -1, -1, -1, 135, 200, 265};
    return {3, -1, 60, -1, -1, -1, -1, 115, 170, 225};
}

TMavrel32Main::TMavrel32Main(Options options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)), ui_(*this) {
    setObjectName("Mavrel32Main");
    setWindowTitle("Mavrel/32 V3.20");
    if (!options_.store) options_.store = std::make_unique<document::MemorySettingsStore>();
    const platform::Clock& clock = options_.clock ? *options_.clock : platform::Clock::system();
    settings_ = document::Settings::defaults(options_.programDir);
    log_ = std::make_unique<document::Log>(options_.programDir, clock);
    doc_ = std::make_unique<document::CatalogDocument>(document::CatalogDocument::Services{
        ui_, *options_.store, settings_, *log_, clock, options_.programDir});
    autoSave_ = std::make_unique<document::AutoSave>(*doc_);
    reader_ = std::make_unique<exchange::MvReader>(*doc_);
    writer_ = std::make_unique<exchange::MvWriter>(*doc_);
    doc_->legacyOpener = [this](const std::string& path, int mark) {
        reader_->openAsNewCatalog(path, mark);
    };
    shell_ = std::make_unique<ProgramShell>(*doc_, options_.args, options_.programFile);
    if (!options_.writeShellEntries) shell_->writeShellEntries = [](const std::string&) {};
    // Drive letters of mounted media are remembered in the settings store.
    platform::LetterMemory letters;
    letters.load = [store = options_.store.get()] {
        std::vector<std::pair<std::string, char>> out;
        try {
            for (const auto& [mount, letter] : store->readSection("Laufwerke"))
                if (!letter.empty()) out.emplace_back(mount, letter[0]);
        } catch (const std::exception&) {  // no memory: letters in the order of the mounts
        }
        return out;
    };
    letters.store = [store = options_.store.get()](const std::string& mount, char letter) {
        try {
            store->write("Laufwerke", {{mount, std::string(1, letter)}});
        } catch (const std::exception&) {
        }
    };
    shell_->backgroundScanRunning = [this] {
        return scanFlags_.background.load() || (scanDialog_ && scanDialog_->scanning());
    };

    buildMenus();
    buildToolbar();
    buildStatusBar();
    buildTray();
    autoSaveTimer_.setObjectName("AutoSaveTimer");
    autoSaveTimer_.setInterval(document::kInitialAutoSaveIntervalMs);
    connect(&autoSaveTimer_, &QTimer::timeout, this,
            [this] { runCommand([this] { autoSave_->timerFired(); }); });
    autoSaveTimer_.start();

    // Escape runs the exit command, like the hidden button of the window.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setObjectName("EscapeBtn");
    connect(escape, &QShortcut::activated, this, [this] { exitCommand(); });

    runCommand([this] { shell_->FormCreate(); });
    scanDriver_ = std::make_unique<scan::ScanDriver>(
        scan::ScanDriver::Services{*doc_, *autoSave_, invoker_, scanFlags_, shell_->tempFolder(),
                                   letters, [this] { EinstellungenClick(); }});
    shell_->scanDriver = scanDriver_.get();
    if (settings_.NoFun) {  // no wallpaper, no picture strip
        toolbar_->setStyleSheet({});
        strip_->hide();
    }
    setWindowState(windowState() | Qt::WindowMaximized);
}

TMavrel32Main::~TMavrel32Main() {
    if (scanDialog_) {
        scanFlags_.cancel = true;
        scanDialog_->finishScan();
    }
    shell_->FormDestroy();
}

void TMavrel32Main::ScanBtnClick() {
    if (scanFlags_.background) {
        showMessage(this, document::MessageKind::Warnung,
                    "Der Scanthread ist noch im Hintergrund aktiv!", document::Buttons::Abbrechen);
        return;
    }
    if (settings_.DatenbankPfad.empty()) EinstellungenClick();
    if (!scanDialog_) {
        scan::TProgrammdateneinlesen::Hooks hooks;
        hooks.scanBackground = [this] { return settings_.ScanBackground; };
        hooks.dataFolder = [this] { return settings_.DatenbankPfad; };
        hooks.openHelp = [this](const QString& page) { openHelpPage(page); };
        hooks.hideMainWindow = [this](bool hide) { setVisible(!hide); };
        scanDialog_ = new scan::TProgrammdateneinlesen(*scanDriver_, scanFlags_, hooks, this);
    }
    scanDialog_->showNormal();
    scanDialog_->raise();
    scanDialog_->activateWindow();
}

void TMavrel32Main::runCommand(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& e) {
        ui_.showApplicationError(e.what());  // the general error handler
    }
}

void TMavrel32Main::notYetThere(const QString& what) {
    showMessage(this, document::MessageKind::Information,
                "„" + what + "“ ist in dieser Version noch nicht enthalten.",
                document::Buttons::Ok);
}

QAction* TMavrel32Main::addItem(QMenu* menu, const char* objectName, const QString& caption,
                                const QKeySequence& shortcut, const QString& hint,
                                int helpContext) {
    auto* a = menu->addAction(caption);
    a->setObjectName(objectName);
    if (!shortcut.isEmpty()) a->setShortcut(shortcut);
    a->setStatusTip(hint);
    a->setProperty("helpContext", helpContext);
    return a;
}

void TMavrel32Main::buildMenus() {
    auto* bar = menuBar();
    auto cmd = [this](std::function<void()> f) { return [this, f] { runCommand(f); }; };
    auto later = [this](const QString& what) { return [this, what] { notYetThere(what); }; };
    auto& d = *doc_;

    // &Datei
    auto* datei = bar->addMenu("&Datei");
    datei->setObjectName("Datei1");
    connect(addItem(datei, "Neu1", "&Neu...", Qt::CTRL | Qt::Key_N, "Datei neu anlegen", 10),
            &QAction::triggered, this, cmd([&d] { d.Neu(); }));
    connect(addItem(datei, "Oeffnen1", "Ö&ffnen...", Qt::Key_F2, "Datei öffnen", 11),
            &QAction::triggered, this, cmd([&d] { d.Oeffnen(); }));
    auto* sep = datei->addSeparator();
    sep->setObjectName("N1");
    auto* speichern =
        addItem(datei, "Speichern1", "&Speichern", Qt::Key_F3, "Aktuelle Datei speichern", 13);
    connect(speichern, &QAction::triggered, this, cmd([&d] { d.Speichern(); }));
    auto* unter = addItem(datei, "Speichernunter1", "Speichern &unter...", Qt::Key_F12,
                          "Datei unter anderem Namen speichern", 14);
    connect(unter, &QAction::triggered, this, cmd([&d] { d.SpeichernUnter(); }));
    auto* schliessen =
        addItem(datei, "Schliessen1", "S&chließen", Qt::Key_F4, "Datei schließen", 15);
    connect(schliessen, &QAction::triggered, this, cmd([&d] { d.Schliessen(); }));
    auto* loeschen =
        addItem(datei, "Loeschen1", "&Löschen", Qt::CTRL | Qt::Key_L, "Datei löschen", 16);
    connect(loeschen, &QAction::triggered, this, later("Datei löschen"));
    import_ = datei->addMenu("Import");
    import_->setObjectName("Import1");
    auto* impMv = addItem(import_, "ImportItem", "Mavrel-Dateien (*.MV)", Qt::CTRL | Qt::Key_O,
                          "Dateien importieren", 18);
    connect(impMv, &QAction::triggered, this, cmd([this] { reader_->Import(); }));
    connect(sharedShortcut(addItem(import_, "ImportDBItem", "Mavrel32-Dateien (*.DB)", {}, "", 27),
                           "Ctrl+B"),
            &QAction::triggered, this, later("Import von Mavrel32-Dateien"));
    export_ = datei->addMenu("Export");
    export_->setObjectName("Export1");
    connect(addItem(export_, "ExpASCIIItem", "&ASCII-Dateien (*.TXT)", Qt::CTRL | Qt::Key_A,
                    "Daten in ASCII Dateiformat exportieren", 42),
            &QAction::triggered, this, later("ASCII-Export"));
    connect(sharedShortcut(addItem(export_, "ExpDBFItem", "d&Base IV-Dateien (*.DBF)", {},
                                   "Daten in dBase IV Dateiformat exportieren", 43),
                           "Ctrl+F"),
            &QAction::triggered, this, later("dBase-Export"));
    connect(addItem(export_, "ExpMVItem", "Mavrel-Dateien (*.MV)", Qt::CTRL | Qt::Key_I, "", 26),
            &QAction::triggered, this, cmd([this] { writer_->ExpMVItemClick(); }));
    connect(addItem(export_, "ExpHTMLItem", "HTML-Dateien (*.HTML)", Qt::CTRL | Qt::Key_H, "", 12),
            &QAction::triggered, this, later("HTML-Export"));
    datei->addSeparator();
    connect(addItem(datei, "Beenden1", "&Beenden...", Qt::ALT | Qt::Key_F4, "Mavrel verlassen", 17),
            &QAction::triggered, this, [this] { exitCommand(); });
    mruSeparator_ = datei->addSeparator();
    for (size_t i = 0; i < mru_.size(); ++i) {
        mru_[i] = datei->addAction(QString());
        mru_[i]->setObjectName(QString("MRU%1").arg(i + 1));
        mru_[i]->setVisible(false);
        connect(mru_[i], &QAction::triggered, this, [this, i] {
            const auto paths = doc_->recentFiles().paths();
            if (i < paths.size()) runCommand([this, p = paths[i]] { doc_->openLastFile(p); });
        });
    }

    // &Bearbeiten
    bearbeiten_ = bar->addMenu("&Bearbeiten");
    bearbeiten_->setObjectName("Bearbeiten1");
    auto* undo = addItem(bearbeiten_, "Undo1", "Undo...", Qt::CTRL | Qt::Key_U, "", 20);
    undo->setEnabled(false);
    auto* fast = addItem(bearbeiten_, "UndoFast1", "Undo FAST!", Qt::Key_F11, "", 21);
    fast->setEnabled(false);
    bearbeiten_->addSeparator();
    connect(
        addItem(bearbeiten_, "Eingabe1", "&Eingabe...", Qt::Key_F5, "Neues Programm eingeben", 22),
        &QAction::triggered, this, later("Eingabe"));
    connect(addItem(bearbeiten_, "Treeview1", "&Treeview", Qt::CTRL | Qt::Key_T,
                    "Zeigt eine Übersicht anhand bestehender Kategorien auf", 23),
            &QAction::triggered, this, later("Treeview"));
    connect(addItem(bearbeiten_, "DBUebersicht1", "&DB-Übersicht", Qt::Key_F8, "", 24),
            &QAction::triggered, this, later("DB-Übersicht"));

    // Datenträger
    auto* medien = bar->addMenu("Datenträger");
    medien->setObjectName("Datentraeger1");
    connect(sharedShortcut(addItem(medien, "Scannen1", "Scannen", {}, "", 25), "F7"),
            &QAction::triggered, this, [this] { ScanBtnClick(); });
    connect(addItem(medien, "Entfernen1", "Entfernen", Qt::CTRL | Qt::Key_X, "", 25),
            &QAction::triggered, this, later("Entfernen"));

    // &Suchen
    suchen_ = bar->addMenu("&Suchen");
    suchen_->setObjectName("Suchen1");
    auto* gross = addItem(suchen_, "GrosseSuche1", "&Suchen (große Suche)...", Qt::Key_F6,
                          "Umfangreiche Suche nach bis zu 10 Kriterien", 30);
    connect(gross, &QAction::triggered, this, later("Große Suche"));
    auto* frei = addItem(suchen_, "FreienSpeicher1", "&Freien Speicher suchen...",
                         Qt::CTRL | Qt::Key_F, "Freien Speicher auffinden", 31);
    connect(frei, &QAction::triggered, this, later("Freien Speicher suchen"));
    auto* bereich =
        addItem(suchen_, "Bereich1", "&Bereich der Datenträger-Nr. durchsuchen...",
                Qt::CTRL | Qt::Key_B, "Angegebene Bereiche der Datenträgernummern durchsuchen", 32);
    connect(bereich, &QAction::triggered, this, later("Bereichssuche"));
    dateiSuchen_ = addItem(suchen_, "DateiSuchen1", "&Datei suchen...", Qt::CTRL | Qt::Key_D,
                           "Dateisuche", 33);
    connect(dateiSuchen_, &QAction::triggered, this, later("Dateisuche"));

    // Dr&ucken
    drucken_ = bar->addMenu("Dr&ucken");
    drucken_->setObjectName("Drucken1");
    connect(addItem(drucken_, "Drucken2", "Drucken...", Qt::CTRL | Qt::Key_P,
                    "QuickReport zum Drucken benutzen", 40),
            &QAction::triggered, this, later("Drucken"));

    // &Extras
    auto* extras = bar->addMenu("&Extras");
    extras->setObjectName("Extras1");
    connect(addItem(extras, "Einstellungen1", "&Einstellungen...", Qt::Key_F7,
                    "Programmeinstellungen", 53),
            &QAction::triggered, this, [this] { EinstellungenClick(); });
    connect(addItem(extras, "UserSQL1", "Execute User SQL", Qt::Key_F9, "", 54),
            &QAction::triggered, this, later("Execute User SQL"));

    // &Hilfe
    auto* hilfe = bar->addMenu("&Hilfe");
    hilfe->setObjectName("Hilfe1");
    connect(addItem(hilfe, "Hilfe2", "&Hilfe", Qt::Key_F1,
                    "Kontextsensitive Onlinehilfe zum Programm", 50),
            &QAction::triggered, this, [this] { openHelpPage("index.html"); });
    hilfe->addSeparator();
    const struct {
        const char* name;
        const char* caption;
        const char* page;
    } pages[] = {
        {"Deinstallation1", "Deinstallation", "h_deinstallation.html"},
        {"Haftung1", "Haftung", "h_haftung.html"},
        {"FAQ1", "FAQ - Frequently Asked Questions", "h_faq.html"},
        {"Systembedingungen1", "Systembedingungen", "h_hard.html"},
        {"AeltereVersionen1", "Umgang mit älteren Versionen", "h_old_version.html"},
        {"Autor1", "Über den Autor", "h_autor.html"},
    };
    for (const auto& p : pages) {
        connect(addItem(hilfe, p.name, p.caption, {}, "", 50), &QAction::triggered, this,
                [this, page = QString(p.page)] { openHelpPage(page); });
    }
    hilfe->addSeparator();
    connect(addItem(hilfe, "Info1", "Inf&o", {}, "Info zum Programm", 52), &QAction::triggered,
            this, [this] { showInfo(); });

    // The items a catalog must be open for.
    hiddenWithoutCatalog_ = {sep,  speichern, unter, schliessen, loeschen,
                             frei, bereich,   gross, impMv};

    // The sort items of the overview follow the index settings; they are kept here so that
    // the settings can switch them before the overview exists.
    for (const auto& ix : document::kSecondaryIndexes) {
        auto* a = new QAction(QString::fromUtf8(ix.sortItem), this);
        a->setObjectName(QString(ix.name) + "Item");
        sortItems_[ix.name] = a;
    }

    // PopupMenu1
    popup_ = new QMenu(this);
    popup_->setObjectName("PopupMenu1");
    connect(popupItem(popup_, "&Eingabe...", "F5"), &QAction::triggered, this, later("Eingabe"));
    connect(popupItem(popup_, "Treeview", "F8"), &QAction::triggered, this, later("Treeview"));
    connect(popup_->addAction("DB-Übersicht"), &QAction::triggered, this, later("DB-Übersicht"));
    popup_->addSeparator();
    connect(popupItem(popup_, "&Suchen (große Suche)...", "F6"), &QAction::triggered, this,
            later("Große Suche"));
    connect(popupItem(popup_, "Freien Speicher suchen...", "Ctrl+F"), &QAction::triggered, this,
            later("Freien Speicher suchen"));
    connect(popupItem(popup_, "&Bereich der Datenträger-Nr. durchsuchen...", "Ctrl+B"),
            &QAction::triggered, this, later("Bereichssuche"));
    popupDateiSuchen_ = popupItem(popup_, "Datei suchen...", "Ctrl+D");
    popupDateiSuchen_->setObjectName("PopupDateiSuchen");
    connect(popupDateiSuchen_, &QAction::triggered, this, later("Dateisuche"));
    popup_->addSeparator();
    connect(popupItem(popup_, "Dr&ucken...", "Alt+P"), &QAction::triggered, this, later("Drucken"));
    popup_->addSeparator();
    auto* pImport = popup_->addMenu("Import");
    connect(popupItem(pImport, "Mavrel-Dateien (*.MV) ...", "Ctrl+M"), &QAction::triggered, this,
            cmd([this] { reader_->Import(); }));
    connect(pImport->addAction("Mavrel32-Dateien (*.DB) ..."), &QAction::triggered, this,
            later("Import von Mavrel32-Dateien"));
    auto* pExport = popup_->addMenu("Export");
    connect(pExport->addAction("Mavrel-Dateien (*.MV) ..."), &QAction::triggered, this,
            cmd([this] { writer_->ExpMVItemClick(); }));
    connect(popupItem(pExport, "&ASCII-Dateien (*.TXT) ...", "Ctrl+A"), &QAction::triggered, this,
            later("ASCII-Export"));
    connect(popupItem(pExport, "d&Base IV-Dateien (*.DBF) ...", "Ctrl+E"), &QAction::triggered,
            this, later("dBase-Export"));
    connect(pExport->addAction("HTML-Dateien (*.HTML) ..."), &QAction::triggered, this,
            later("HTML-Export"));
    // Keys only the context menu has answer in the whole window.
    for (const auto& [key, f] : std::vector<std::pair<const char*, std::function<void()>>>{
             {"Ctrl+M", [this] { reader_->Import(); }},
             {"Ctrl+E", [this] { notYetThere("dBase-Export"); }},
             {"Alt+P", [this] { notYetThere("Drucken"); }}}) {
        auto* a = new QAction(this);
        a->setShortcut(QKeySequence(key));
        connect(a, &QAction::triggered, this, [this, f = f] {
            if (state_ == ControlState::CatalogOpen) runCommand(f);
        });
        addAction(a);
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
    for (size_t i = 0; i < kButtons.size(); ++i) {
        const auto& def = kButtons[i];
        auto* b = new QToolButton(toolbar_);
        b->setObjectName(def.objectName);
        b->setText(QString::fromUtf8(def.caption));
        b->setToolTip(QString::fromUtf8(def.hint));
        b->setStatusTip(QString::fromUtf8(def.hint));
        b->setProperty("section", QString::fromUtf8(def.section));
        b->setIcon(style()->standardIcon(def.icon));
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setAutoRaise(true);
        b->setFixedSize(57, 47);
        QFont small = b->font();  // the captions fit the narrow buttons
        small.setPointSizeF(small.pointSizeF() * 0.8);
        b->setFont(small);
        buttons_[i] = b;
    }
    auto& d = *doc_;
    auto cmd = [this](std::function<void()> f) { return [this, f] { runCommand(f); }; };
    connect(buttons_[0], &QToolButton::clicked, this, cmd([&d] { d.Oeffnen(); }));
    connect(buttons_[1], &QToolButton::clicked, this, cmd([&d] { d.Speichern(); }));
    connect(buttons_[2], &QToolButton::clicked, this, [this] { ScanBtnClick(); });
    connect(buttons_[3], &QToolButton::clicked, this, [this] { notYetThere("Eingabe"); });
    connect(buttons_[4], &QToolButton::clicked, this, [this] { notYetThere("DB-Übersicht"); });
    connect(buttons_[5], &QToolButton::clicked, this, [this] { notYetThere("Große Suche"); });
    connect(buttons_[6], &QToolButton::clicked, this, [this] { notYetThere("Drucken"); });
    connect(buttons_[7], &QToolButton::clicked, this, [this] { EinstellungenClick(); });
    connect(buttons_[8], &QToolButton::clicked, this, [this] { openHelpPage("index.html"); });
    connect(buttons_[9], &QToolButton::clicked, this, [this] { exitCommand(); });
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
    progress_->setGeometry(0, 0, 350, 18);
    progress_->setTextVisible(false);
    progress_->hide();
    // The busy animation sits in the small panel beside the state text.
    busy_ = new QProgressBar(panels_[2]);
    busy_->setObjectName("BusyAnimation");
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
    auto* info = menu->addAction("MV32 &Systeminfos");
    info->setEnabled(false);
    auto* restore = menu->addAction("MV32 wieder &herstellen");
    auto* quit = menu->addAction("MV32 &schließen");
    auto restoreWindow = [this] {
        tray_->hide();
        showMaximized();
        activateWindow();
    };
    connect(restore, &QAction::triggered, this, restoreWindow);
    connect(quit, &QAction::triggered, this, [this] { close(); });
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
    runCommand([&] { after = shell_->handleCommandLine(); });
    if (after == ProgramShell::AfterCommandLine::Close)
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
    runCommand([&] { may = shell_->FormCloseQuery(); });
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
    if (doc_->state().TreeBuilding) return;
    close();
}

void TMavrel32Main::EinstellungenClick() {
    document::SettingsDialogModel model(*doc_);
    TEinstellungen dialog(model, options_.programDir, this);
    dialog.exec();
}

void TMavrel32Main::showInfo() {
    TInfo info(this);
    info.exec();
}

QString TMavrel32Main::helpFolder(const std::string& programDir) {
    const QString beside = q(programDir) + "hilfe/";
    if (QFileInfo::exists(beside + "index.html")) return beside;
    // Installed: <prefix>/bin/mv32 and <prefix>/share/mavrel32/hilfe/.
    const QString installed =
        QDir(QCoreApplication::applicationDirPath() + "/../share/mavrel32/hilfe/").absolutePath() +
        "/";
    if (QFileInfo::exists(installed + "index.html")) return installed;
    return QCoreApplication::applicationDirPath() + "/hilfe/";
}

void TMavrel32Main::openHelpPage(const QString& page) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(helpFolder(options_.programDir) + page));
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

void TMavrel32Main::setControlState(ControlState state) {
    state_ = state;
    const bool open = state == ControlState::CatalogOpen;
    for (auto* a : hiddenWithoutCatalog_) a->setVisible(open);
    bearbeiten_->menuAction()->setVisible(open);
    drucken_->menuAction()->setVisible(open);
    import_->menuAction()->setVisible(open);
    export_->menuAction()->setVisible(open);
    suchen_->menuAction()->setVisible(open || fileSearchVisible_);
    const bool highDpi = logicalDpiX() > 100;
    const auto pos = toolbarPositions(state, highDpi);
    for (size_t i = 0; i < buttons_.size(); ++i) {
        const bool visible = open || !hiddenWithoutCatalog(i);
        buttons_[i]->setVisible(visible);
        if (visible) buttons_[i]->move(pos[i], 3);
    }
}

void TMavrel32Main::setSortItemVisible(const std::string& indexName, bool visible) {
    auto it = sortItems_.find(indexName);
    if (it != sortItems_.end()) it->second->setVisible(visible);
}

void TMavrel32Main::setFileSearchVisible(bool visible) {
    fileSearchVisible_ = visible;
    dateiSuchen_->setVisible(visible);
    popupDateiSuchen_->setVisible(visible);
    suchen_->menuAction()->setVisible(visible || state_ == ControlState::CatalogOpen);
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
