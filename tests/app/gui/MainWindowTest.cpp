// The real main window on Qt's offscreen platform, driven by object name.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <fstream>
#include <memory>

#include "app/gui/DatenSichern.h"
#include "app/gui/Einstellungen.h"
#include "app/gui/InfoWindow.h"
#include "app/gui/Mavrel32Main.h"
#include "app/gui/Sorry.h"
#include "app/gui/WaitWindow.h"
#include "app/gui/WindowTestSupport.h"
#include "document/Catalog.h"
#include "document/SettingsDialogModel.h"
#include "engine/Table.h"
#include "scan/gui/Programmdateneinlesen.h"
#include "support/TempDir.h"

namespace mv32::test {
namespace {

using app::TMavrel32Main;
using document::ControlState;

class MainWindow : public ::testing::Test {
protected:
    std::unique_ptr<TMavrel32Main> make(std::vector<std::string> args = {}) {
        TMavrel32Main::Options o;
        o.args = std::move(args);
        o.programFile = QCoreApplication::applicationFilePath().toStdString();  // help pages
        o.programDir = home.path() + "/";
        auto s = std::make_unique<document::MemorySettingsStore>();
        store = s.get();
        if (!fileToLoad.empty()) store->write("Settings", {{"FileToLoad", fileToLoad}});
        o.store = std::move(s);
        o.writeShellEntries = false;
        return std::make_unique<TMavrel32Main>(std::move(o));
    }
    QAction* action(TMavrel32Main& w, const char* name) {
        auto* a = w.findChild<QAction*>(name);
        EXPECT_NE(a, nullptr) << name;
        return a;
    }
    void makeCatalog(const std::string& path) {
        engine::Table t;
        t.setTableName(path);
        document::createCatalogTable(t);
    }
    TempDir home;
    document::MemorySettingsStore* store = nullptr;
    std::string fileToLoad;
};

TEST_F(MainWindow, MenuItemsCarryCaptionShortcutAndHint) {
    auto w = make();
    const struct {
        const char* name;
        const char* caption;
        const char* shortcut;
        const char* hint;
        int help;
    } items[] = {
        {"Neu1", "&Neu...", "Ctrl+N", "Datei neu anlegen", 10},
        {"Oeffnen1", "Ö&ffnen...", "F2", "Datei öffnen", 11},
        {"Speichern1", "&Speichern", "F3", "Aktuelle Datei speichern", 13},
        {"Speichernunter1", "Speichern &unter...", "F12", "Datei unter anderem Namen speichern",
         14},
        {"Schliessen1", "S&chließen", "F4", "Datei schließen", 15},
        {"Loeschen1", "&Löschen", "Ctrl+L", "Datei löschen", 16},
        {"ImportItem", "Mavrel-Dateien (*.MV)", "Ctrl+O", "Dateien importieren", 18},
        {"ImportDBItem", "Mavrel32-Dateien (*.DB)", "", "", 27},
        {"ExpASCIIItem", "&ASCII-Dateien (*.TXT)", "Ctrl+A",
         "Daten in ASCII Dateiformat exportieren", 42},
        {"ExpDBFItem", "d&Base IV-Dateien (*.DBF)", "", "Daten in dBase IV Dateiformat exportieren",
         43},
        {"ExpMVItem", "Mavrel-Dateien (*.MV)", "Ctrl+I", "", 26},
        {"ExpHTMLItem", "HTML-Dateien (*.HTML)", "Ctrl+H", "", 12},
        {"Beenden1", "&Beenden...", "Alt+F4", "Mavrel verlassen", 17},
        {"Undo1", "Undo...", "Ctrl+U", "", 20},
        {"UndoFast1", "Undo FAST!", "F11", "", 21},
        {"Eingabe1", "&Eingabe...", "F5", "Neues Programm eingeben", 22},
        {"Treeview1", "&Treeview", "Ctrl+T",
         "Zeigt eine Übersicht anhand bestehender Kategorien auf", 23},
        {"DBUebersicht1", "&DB-Übersicht", "F8", "", 24},
        {"Scannen1", "Scannen", "", "", 25},
        {"Entfernen1", "Entfernen", "Ctrl+X", "", 25},
        {"GrosseSuche1", "&Suchen (große Suche)...", "F6",
         "Umfangreiche Suche nach bis zu 10 Kriterien", 30},
        {"FreienSpeicher1", "&Freien Speicher suchen...", "Ctrl+F", "Freien Speicher auffinden",
         32},
        {"Bereich1", "&Bereich der Datenträger-Nr. durchsuchen...", "Ctrl+B",
         "Angegebene Bereiche der Datenträgernummern durchsuchen", 33},
        {"DateiSuchen1", "&Datei suchen...", "Ctrl+D", "Dateisuche", 31},
        {"Drucken2", "Drucken...", "Ctrl+P", "QuickReport zum Drucken benutzen", 40},
        {"Einstellungen1", "&Einstellungen...", "F7", "Programmeinstellungen", 53},
        {"UserSQL1", "Execute User SQL", "F9", "", 54},
        {"Hilfe2", "&Hilfe", "F1", "Kontextsensitive Onlinehilfe zum Programm", 50},
        {"Info1", "Inf&o", "", "Info zum Programm", 52},
    };
    for (const auto& i : items) {
        SCOPED_TRACE(i.name);
        QAction* a = action(*w, i.name);
        if (!a) continue;
        EXPECT_EQ(a->text().section('\t', 0, 0), QString::fromUtf8(i.caption));
        EXPECT_EQ(a->shortcut().toString(), QString(i.shortcut));
        EXPECT_EQ(a->statusTip(), QString::fromUtf8(i.hint));
        EXPECT_EQ(a->property("helpContext").toInt(), i.help);
    }
    // The keys shared with another item are shown in the caption; the other item answers.
    EXPECT_EQ(action(*w, "Scannen1")->text(), "Scannen\tF7");
    EXPECT_EQ(action(*w, "ImportDBItem")->text(), "Mavrel32-Dateien (*.DB)\tCtrl+B");
    EXPECT_EQ(action(*w, "ExpDBFItem")->text(), "d&Base IV-Dateien (*.DBF)\tCtrl+F");
    // Undo starts disabled; the help menu lists its pages.
    EXPECT_FALSE(action(*w, "Undo1")->isEnabled());
    EXPECT_FALSE(action(*w, "UndoFast1")->isEnabled());
    for (const char* n : {"Deinstallation1", "Haftung1", "FAQ1", "Systembedingungen1",
                          "AeltereVersionen1", "Autor1"})
        EXPECT_NE(w->findChild<QAction*>(n), nullptr) << n;
    QStringList menus;
    for (auto* a : w->menuBar()->actions()) menus << a->text();
    EXPECT_EQ(menus, QStringList({"&Datei", "&Bearbeiten", "Datenträger", "&Suchen", "Dr&ucken",
                                  "&Extras", "&Hilfe"}));
}

TEST_F(MainWindow, StatesNoCatalogAndCatalogOpen) {
    auto w = make();
    w->show();
    auto visible = [&](const char* name) { return action(*w, name)->isVisible(); };
    auto menuVisible = [&](const char* name) {
        return w->findChild<QMenu*>(name)->menuAction()->isVisible();
    };
    auto button = [&](const char* name) { return w->findChild<QToolButton*>(name); };
    const char* buttons[] = {"OeffnenBtn",    "SpeichernBtn", "ScanBtn",    "EingabeBtn",
                             "UebersichtBtn", "SuchenBtn",    "DruckenBtn", "EinstellBtn",
                             "HilfeBtn",      "BeendenBtn"};

    // No catalog, no file list: the search menu is missing altogether.
    EXPECT_EQ(w->windowTitle(), "Mavrel/32 V3.20");
    EXPECT_FALSE(visible("Speichern1"));
    EXPECT_FALSE(visible("Speichernunter1"));
    EXPECT_FALSE(visible("Schliessen1"));
    EXPECT_FALSE(visible("Loeschen1"));
    EXPECT_FALSE(visible("N1"));
    EXPECT_TRUE(visible("Neu1"));
    EXPECT_TRUE(visible("Oeffnen1"));
    for (const char* m : {"Bearbeiten1", "Drucken1", "Import1", "Export1", "Suchen1"})
        EXPECT_FALSE(menuVisible(m)) << m;
    EXPECT_FALSE(visible("DateiSuchen1"));
    const auto closed = app::toolbarPositions(ControlState::NoCatalog, false);
    for (size_t i = 0; i < 10; ++i) {
        SCOPED_TRACE(buttons[i]);
        EXPECT_EQ(button(buttons[i])->isVisible(), closed[i] >= 0);
        if (closed[i] >= 0) {
            EXPECT_EQ(button(buttons[i])->x(), closed[i]);
        }
        EXPECT_EQ(button(buttons[i])->size(), QSize(57, 47));
    }
    EXPECT_EQ(closed, (std::array<int, 10>{3, -1, 60, -1, -1, -1, -1, 115, 170, 225}));
    EXPECT_EQ(app::toolbarPositions(ControlState::NoCatalog, true),
              (std::array<int, 10>{3, -1, 70, -1, -1, -1, -1, 135, 200, 265}));

    // A catalog opened: everything shows, the buttons at their home positions.
    makeCatalog(home.file("kat.db"));
    w->document().openLastFile(home.file("kat.db"));
    EXPECT_EQ(w->windowTitle(), "Mavrel/32 V.3.20  [kat.db]");
    for (const char* n : {"Speichern1", "Speichernunter1", "Schliessen1", "Loeschen1", "N1",
                          "GrosseSuche1", "FreienSpeicher1", "Bereich1", "ImportItem"})
        EXPECT_TRUE(visible(n)) << n;
    for (const char* m : {"Bearbeiten1", "Drucken1", "Import1", "Export1", "Suchen1"})
        EXPECT_TRUE(menuVisible(m)) << m;
    EXPECT_FALSE(visible("DateiSuchen1"));  // follows the file list, not the catalog
    const auto open = app::toolbarPositions(ControlState::CatalogOpen, false);
    EXPECT_EQ(open, app::toolbarPositions(ControlState::CatalogOpen, true));
    for (size_t i = 0; i < 10; ++i) {
        EXPECT_TRUE(button(buttons[i])->isVisible()) << buttons[i];
        EXPECT_EQ(button(buttons[i])->x(), open[i]) << buttons[i];
    }
    EXPECT_EQ(open, (std::array<int, 10>{3, 60, 117, 174, 231, 288, 345, 402, 459, 516}));
    // The recent-file entry shows the path without accelerators.
    EXPECT_TRUE(visible("MRU1"));
    EXPECT_EQ(action(*w, "MRU1")->text(), QString::fromStdString(home.file("kat.db")));

    w->document().Schliessen();
    EXPECT_FALSE(menuVisible("Bearbeiten1"));
    EXPECT_EQ(button("ScanBtn")->x(), 60);
}

TEST_F(MainWindow, TheContextMenuHasItsOwnCaptionsAndKeys) {
    auto w = make();
    auto* popup = w->findChild<QMenu*>("PopupMenu1");
    ASSERT_NE(popup, nullptr);
    QStringList lines;
    for (auto* a : popup->actions()) {
        if (a->isSeparator()) {
            lines << "-";
        } else if (a->menu()) {
            QStringList sub;
            for (auto* s : a->menu()->actions()) sub << s->text();
            lines << a->text() + ": " + sub.join(" | ");
        } else {
            lines << a->text();
        }
    }
    EXPECT_EQ(lines,
              QStringList({"&Eingabe...\tF5", "Treeview\tF8", "DB-Übersicht", "-",
                           "&Suchen (große Suche)...\tF6", "Freien Speicher suchen...\tCtrl+F",
                           "&Bereich der Datenträger-Nr. durchsuchen...\tCtrl+B",
                           "Datei suchen...\tCtrl+D", "-", "Dr&ucken...\tAlt+P", "-",
                           "Import: Mavrel-Dateien (*.MV) ...\tCtrl+M | Mavrel32-Dateien "
                           "(*.DB) ...",
                           "Export: Mavrel-Dateien (*.MV) ... | &ASCII-Dateien (*.TXT) "
                           "...\tCtrl+A | d&Base IV-Dateien (*.DBF) ...\tCtrl+E | "
                           "HTML-Dateien (*.HTML) ..."}));
    // Its own keys answer in the whole window, but only with a catalog open.
    QStringList windowKeys;
    for (auto* a : w->actions()) {
        if (!a->shortcut().isEmpty()) windowKeys << a->shortcut().toString();
    }
    EXPECT_EQ(windowKeys, QStringList({"Alt+P", "Ctrl+M", "Ctrl+E"}));
}

TEST_F(MainWindow, StatusBarPanels) {
    auto w = make();
    const int widths[] = {350, 60, 30, 120, 500};
    for (int i = 0; i < 5; ++i) {
        auto* p = w->findChild<QLabel*>(QString("Panel%1").arg(i));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->width(), widths[i]);
    }
    EXPECT_EQ(w->panelText(1), "Bereit");
    // A hint goes to panel 0.
    action(*w, "Neu1")->showStatusText(w.get());
    EXPECT_EQ(w->panelText(0), "Datei neu anlegen");
    EXPECT_EQ(w->autoSaveTimer().interval(), 600000);
}

TEST_F(MainWindow, ExitAsksForConfirmationThenAboutUnsavedData) {
    auto w = make();
    w->show();
    QApplication::setActiveWindow(w.get());
    {
        DialogAnswerer answers({"&Nein"});
        QTest::keyClick(w.get(), Qt::Key_Escape);
        EXPECT_EQ(answers.seen(),
                  QStringList({"Bestätigen: Wollen Sie das Programm wirklich schon beenden?"}));
    }
    EXPECT_TRUE(w->isVisible());

    w->document().state().DataSaved = false;
    {
        DialogAnswerer answers({"&Ja", "&Nein"});
        action(*w, "Beenden1")->trigger();
        EXPECT_TRUE(answers.done());
        ASSERT_EQ(answers.seen().size(), 2);
        EXPECT_EQ(answers.seen()[0], "Bestätigen: Wollen Sie das Programm wirklich schon beenden?");
        EXPECT_TRUE(answers.seen()[1].startsWith("Daten sichern?: ACHTUNG!"));
    }
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(home.file("Backup"))));
}

TEST_F(MainWindow, CommandLineOpensAnExistingCatalogOnly) {
    fileToLoad = home.file("vorher.db");
    makeCatalog(fileToLoad);
    {
        auto w = make({home.file("fehlt.db")});
        w->handleCommandLineOnce();
        EXPECT_EQ(w->document().state().CurrentFile, fileToLoad);  // start-up's file stays
        EXPECT_EQ(store->read("Settings", "FileToLoad"), fileToLoad);
    }
    makeCatalog(home.file("arg.db"));
    auto w = make({home.file("arg.db")});
    w->handleCommandLineOnce();
    EXPECT_TRUE(w->document().state().CatalogOpen);
    EXPECT_EQ(w->document().state().CurrentFile, home.file("arg.db"));
    EXPECT_EQ(store->read("Settings", "FileToLoad"), home.file("arg.db"));
}

TEST_F(MainWindow, EveryHelpPageIsThere) {
    auto w = make();
    const QString folder = QString::fromStdString(w->program().helpFolder());
    for (const char* page :
         {"index.html", "h_deinstallation.html", "h_haftung.html", "h_faq.html", "h_hard.html",
          "h_old_version.html", "h_autor.html", "e_einstellungen.html", "b_eingabe.html"})
        EXPECT_TRUE(QFileInfo::exists(folder + page)) << page;
}

TEST_F(MainWindow, TheScanDialogRunsAForegroundScan) {
    TempDir medium;
    std::ofstream(medium.file("eins.txt")) << "1";
    std::ofstream(medium.file("zwei.txt")) << "22";
    const std::string volumes = home.file("volumes");
    std::ofstream(volumes) << "D\t" << medium.path() << "\tMEDIUM\t0BADF00D\t100\t10\n";
    qputenv("MV32_VOLUMES", QByteArray::fromStdString(volumes));
    auto w = make();
    store->write("Settings", {{"ScanBackground", "0"}, {"DatenbankPfad", home.path() + "/"}});
    w->document().settings() = document::readSettings(*store, home.path() + "/");
    w->show();
    action(*w, "Scannen1")->trigger();
    auto* dialog = w->scanDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowTitle(), "Laufwerk scannen");
    EXPECT_EQ(dialog->findChild<QLabel*>("Label2")->text(), "Scanner bereit...");
    EXPECT_FALSE(dialog->findChild<QPushButton*>("Abbr")->isVisible());
    auto* box = dialog->findChild<QComboBox*>("DriveComboBox1");
    ASSERT_EQ(box->count(), 1);
    EXPECT_TRUE(box->itemText(0).startsWith("D:  [MEDIUM]"));
    {
        DialogAnswerer answers({"OK"});
        dialog->findChild<QPushButton*>("scanbtn")->click();
        for (int i = 0; i < 1000 && (dialog->scanning() || !answers.done()); ++i) QTest::qWait(10);
        EXPECT_TRUE(answers.done());
        ASSERT_EQ(answers.seen().size(), 1);
        EXPECT_TRUE(answers.seen()[0].startsWith("Information: Die gescannten Dateien"));
    }
    dialog->finishScan();
    EXPECT_EQ(dialog->findChild<QLabel*>("Label2")->text(), "Laufwerk gescannt!");
    EXPECT_EQ(dialog->findChild<QLabel*>("Label6")->text(), "2");
    EXPECT_TRUE(dialog->findChild<QPushButton*>("closebtn")->isVisible());
    EXPECT_TRUE(action(*w, "DateiSuchen1")->isVisible());
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(home.file("mv32list.db"))));
    const QString folder = qEnvironmentVariable("MV32_SCREENSHOTS");
    if (!folder.isEmpty()) dialog->grab().save(folder + "/scan.png");
    qunsetenv("MV32_VOLUMES");
}

TEST_F(MainWindow, SettingsDialogBindsItsControlsToTheRules) {
    auto w = make();
    document::SettingsDialogModel model(w->document());
    app::TEinstellungen dialog(model, w->program().helpFolder(), w.get());
    auto* tabs = dialog.findChild<QTabWidget*>("PageControl1");
    ASSERT_NE(tabs, nullptr);
    QStringList pages;
    for (int i = 0; i < tabs->count(); ++i) pages << tabs->tabText(i);
    EXPECT_EQ(pages, QStringList({"Haupdatenbank", "Allgemeines", "AutoSave", "Dateidatenbank",
                                  "Scan", "Infos"}));
    EXPECT_EQ(tabs->currentIndex(), 0);
    auto box = [&](const char* n) { return dialog.findChild<QCheckBox*>(n); };
    EXPECT_FALSE(box("LaufwerkInd")->isChecked());
    EXPECT_TRUE(box("DatentraegerNrInd")->isChecked());

    box("ScanBackground")->setChecked(true);
    box("ReadFileIDDIZ")->click();
    EXPECT_FALSE(box("ScanBackground")->isChecked());
    box("ASAender")->click();
    EXPECT_FALSE(box("ASZeit")->isChecked());
    box("AutoSave")->click();
    EXPECT_FALSE(box("ASAender")->isEnabled());
    EXPECT_FALSE(dialog.findChild<QLineEdit*>("AutoSaveValueZeit")->isEnabled());
    EXPECT_EQ(dialog.findChild<QLineEdit*>("AutoSaveValue")->maxLength(), 4);

    // Enter closes without applying.
    QTest::keyClick(&dialog, Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(store->read("Settings", "AutoSave"), std::nullopt);

    // "&OK" stores and follows up.
    app::TEinstellungen again(model, w->program().helpFolder(), w.get());
    again.findChild<QCheckBox*>("LaufwerkInd")->click();
    // Typed as a person types: the box's edits reach the model.
    auto* minutes = again.findChild<QLineEdit*>("AutoSaveValueZeit");
    minutes->selectAll();
    QTest::keyClick(minutes, Qt::Key_Backspace);
    QTest::keyClicks(minutes, "5");
    EXPECT_EQ(model.autoSaveValueZeitText, "5");
    again.findChild<QPushButton*>("OKBtn")->click();
    EXPECT_EQ(store->read("Settings", "LaufwerkInd"), "1");
    EXPECT_EQ(w->autoSaveTimer().interval(), 300000);
}

// Screen readers, and tests driving the program from outside, find every control by its
// accessible name: its caption, or the text of the label in front of it.
TEST_F(MainWindow, EveryControlHasAnAccessibleName) {
    auto w = make();
    w->show();
    document::SettingsDialogModel model(w->document());
    app::TEinstellungen settings(model, w->program().helpFolder(), w.get());
    w->ScanBtnClick();
    QStringList unnamed;
    for (QWidget* window : std::vector<QWidget*>{w.get(), &settings, w->scanDialog()}) {
        for (QWidget* c : window->findChildren<QWidget*>()) {
            const bool control = qobject_cast<QAbstractButton*>(c) || qobject_cast<QLineEdit*>(c) ||
                                 qobject_cast<QComboBox*>(c) || qobject_cast<QProgressBar*>(c) ||
                                 qobject_cast<QTabWidget*>(c);
            if (!control || c->objectName().startsWith("qt_")) continue;  // Qt's own parts
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(c);
            if (!a || a->text(QAccessible::Name).trimmed().isEmpty())
                unnamed << window->objectName() + "/" + c->objectName() + " (" +
                               c->metaObject()->className() + ")";
        }
    }
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(", ").toStdString();
}

// With MV32_SCREENSHOTS=<folder> the windows are saved as pictures, to look at them as a
// person would; without it the test only checks that they paint.
TEST_F(MainWindow, WindowsPaint) {
    const QString folder = qEnvironmentVariable("MV32_SCREENSHOTS");
    auto save = [&](QWidget& widget, const char* name) {
        if (!qobject_cast<QMainWindow*>(&widget)) widget.adjustSize();
        QPixmap picture = widget.grab();
        EXPECT_FALSE(picture.isNull()) << name;
        if (!folder.isEmpty()) picture.save(folder + "/" + name + ".png");
    };
    auto w = make();
    w->showNormal();
    w->resize(1100, 500);
    save(*w, "hauptfenster-ohne-katalog");
    makeCatalog(home.file("kat.db"));
    w->document().openLastFile(home.file("kat.db"));
    save(*w, "hauptfenster-katalog");
    document::SettingsDialogModel model(w->document());
    app::TEinstellungen dialog(model, w->program().helpFolder(), w.get());
    auto* tabs = dialog.findChild<QTabWidget*>("PageControl1");
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        dialog.show();
        save(dialog, ("einstellungen-" + std::to_string(i)).c_str());
    }
    app::TSorry sorry(w.get());
    save(sorry, "sorry");
    app::TDatenSichern question(w.get());
    save(question, "daten-sichern");
    app::TInfo info(w.get());
    save(info, "info");
    save(w->waitWindow(), "warten");
}

}  // namespace
}  // namespace mv32::test

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
