// The overview window in the real main window on Qt's offscreen platform: the catalog's grid
// with its sort menu, jump box and position, a record opened by double click, and a search
// result shown modally and deleted.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/gui/Mavrel32Main.h"
#include "app/gui/WindowTestSupport.h"
#include "document/Catalog.h"
#include "engine/Table.h"
#include "support/TempDir.h"

namespace mv32::test {
namespace {

using app::TMavrel32Main;

class OverviewWindow : public ::testing::Test {
protected:
    void SetUp() override {
        w = mainWindowIn(home.path() + "/");
        engine::Table t;
        t.setTableName(home.file("kat.db"));
        document::createCatalogTable(t);
        t.open();
        for (const char* n : {"Alpha", "Beta", "Gamma"}) {
            t.append();
            t.setAsString("Name", n);
            t.setAsString("Kategorie", n[0] == 'B' ? "Tools" : "Spiel");
            t.setAsString("Memo", n[0] == 'G' ? "notiz" : "");
            t.post();
        }
        t.close();
        w->document().openLastFile(home.file("kat.db"));
        w->show();
    }
    void TearDown() override { w.reset(); }
    edit::TDBUeber& open() {
        w->findChild<QAction*>("DBUebersicht1")->trigger();
        EXPECT_NE(w->overviewWindow(), nullptr);
        return *w->overviewWindow();
    }
    engine::Table& cat() { return w->document().MV32(); }

    TempDir home;
    std::unique_ptr<TMavrel32Main> w;
};

}  // namespace

TEST_F(OverviewWindow, TheCatalogIsBrowsedSortedJumpedAndOpened) {
    auto& o = open();
    EXPECT_TRUE(o.isVisible());
    auto& grid = o.grid();
    ASSERT_EQ(grid.model()->columnCount(), 11);
    EXPECT_EQ(grid.model()->rowCount(), 3);
    EXPECT_EQ(grid.model()->headerData(0, Qt::Horizontal).toString(), "Name");
    EXPECT_TRUE(grid.model()->headerData(0, Qt::Horizontal, Qt::FontRole).value<QFont>().bold());
    EXPECT_EQ(grid.model()->index(2, 9).data().toString(), "(Memo)");
    EXPECT_EQ(o.positionText(), "Datensatz 1 von 3");
    EXPECT_FALSE(o.findChild<QPushButton*>("KriterienLoeschen")->isVisible());

    auto* jump = o.findChild<QLineEdit*>("Springen");
    QTest::keyClicks(jump, "Ga");
    EXPECT_EQ(cat().displayText("Name"), "Gamma");
    EXPECT_EQ(o.positionText(), "Datensatz 3 von 3");

    // The sort menu: by name always, by an index while its setting is on.
    auto* menu = o.findChild<QMenu*>("MVDBPopup");
    ASSERT_NE(menu, nullptr);
    QStringList shown;
    for (QAction* a : menu->actions())
        if (a->isVisible()) shown << a->text();
    EXPECT_EQ(shown.first(), "Sortieren nach Name");
    EXPECT_EQ(shown.size(), 1 + 4) << shown.join(", ").toStdString();  // the default settings
    for (QAction* a : menu->actions())
        if (a->text() == "Sortieren nach Kategorie") a->trigger();
    EXPECT_EQ(cat().indexName(), "KategorieIndex");
    cat().first();
    EXPECT_EQ(cat().displayText("Name"), "Alpha");
    cat().next();
    EXPECT_EQ(cat().displayText("Name"), "Gamma") << "Spiel before Tools";

    // A double click opens the entry window on the record, with its own pick lists.
    const QModelIndex beta = grid.model()->index(2, 0);
    grid.setCurrentIndex(beta);
    const QPoint at = grid.visualRect(beta).center();
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, at);
    ASSERT_NE(w->entryWindow(), nullptr);
    EXPECT_TRUE(w->entryWindow()->isVisible());
    EXPECT_EQ(w->entryWindow()->findChild<QLineEdit*>("NameEdit")->text(), "Beta");
    EXPECT_EQ(w->entryWindow()->findChild<QComboBox*>("Kategorie")->count(), 210);
    EXPECT_EQ(w->entryWindow()->findChild<QComboBox*>("Status")->count(), 13);

    QTest::keyClick(&o, Qt::Key_Escape);
    EXPECT_FALSE(o.isVisible());
}

TEST_F(OverviewWindow, AResultIsShownModallyAndDeletedFromTheCatalog) {
    open();
    QStringList seen;
    QTimer::singleShot(100, [&] {
        auto* o = w->overviewWindow();
        ASSERT_TRUE(o->isVisible());
        EXPECT_EQ(o->grid().model()->rowCount(), 2);
        EXPECT_EQ(o->positionText(), "Datensatz 1 von 2");
        EXPECT_FALSE(o->findChild<QLineEdit*>("Springen")->isEnabled());
        EXPECT_FALSE(o->navigator().button(edit::NavButton::Delete)->isVisible());
        DialogAnswerer answers({"&Ja"});
        o->findChild<QPushButton*>("KriterienLoeschen")->click();
        seen = answers.seen();
        o->close();
    });
    w->program().guarded([&] {
        w->program().overview().showQuery("SELECT * FROM kat WHERE Kategorie = 'Spiel'", true,
                                          true);
    });
    EXPECT_EQ(seen, QStringList{"Warnung: " + QString(edit::kDeleteResultQuestion)});
    EXPECT_EQ(cat().recordCount(), 1);
    EXPECT_EQ(w->document().undoTable().recordCount(), 2);
    EXPECT_FALSE(w->program().overview().resultMode());
}

TEST_F(OverviewWindow, TheUsersStatementShowsItsResultWithTheColumnsItHas) {
    w->findChild<QAction*>("UserSQL1")->trigger();  // the default statement, F9
    auto* o = w->overviewWindow();
    ASSERT_NE(o, nullptr);
    EXPECT_TRUE(o->isVisible());
    EXPECT_TRUE(w->program().overview().resultMode());
    EXPECT_FALSE(o->findChild<QPushButton*>("KriterienLoeschen")->isVisible());
    auto* m = o->grid().model();
    ASSERT_EQ(m->rowCount(), 3);
    EXPECT_EQ(m->index(1, 0).data().toString(), "Beta");
    EXPECT_EQ(m->index(1, 3).data().toString(), "Tools");
    EXPECT_EQ(m->index(1, 9).data().toString(), "") << "a column the result lacks stays empty";
    o->grab();
}

TEST_F(OverviewWindow, TheFullSearchShowsItsResultModally) {
    w->findChild<QAction*>("GrosseSuche1")->trigger();
    auto* d = w->searchDialog();
    ASSERT_TRUE(d && d->isVisible());
    QTest::keyClicks(d->findChild<QLineEdit*>("SuchenEdit"), "ET");
    QTest::keyClicks(d->findChild<QLineEdit*>("groesseEdit"), "12ab3");
    EXPECT_EQ(d->criteria().total, "123") << "only digits";
    d->findChild<QLineEdit*>("groesseEdit")->clear();
    int rows = -1;
    bool deletable = false;
    QTimer::singleShot(100, [&] {
        auto* o = w->overviewWindow();
        rows = o->grid().model()->rowCount();
        deletable = o->findChild<QPushButton*>("KriterienLoeschen")->isVisible();
        o->close();
    });
    d->findChild<QPushButton*>("SuchenBtn")->click();
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(rows, 1) << "Beta: anywhere in the name, without case";
    EXPECT_TRUE(deletable);
    // Opening it again empties the criteria.
    w->findChild<QAction*>("GrosseSuche1")->trigger();
    EXPECT_TRUE(d->criteria().empty());
    d->findChild<QPushButton*>("SuchenBtn")->click();  // nothing filled: nothing happens
    EXPECT_FALSE(w->overviewWindow()->isVisible());
    const QStringList unnamed = unnamedControls({d});
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(", ").toStdString();
}

TEST_F(OverviewWindow, TheFreeSpaceAndRangeSearchesShowTheirResultsModeless) {
    w->findChild<QAction*>("FreienSpeicher1")->trigger();
    auto* f = w->freeSpaceDialog();
    ASSERT_TRUE(f && f->isVisible());
    EXPECT_TRUE(f->findChild<QRadioButton*>("mehr")->isChecked());
    f->findChild<QPushButton*>("RxSpeedButton1")->click();  // no size: stays open
    EXPECT_TRUE(f->isVisible());
    QTest::keyClicks(f->findChild<QLineEdit*>("speicher"), "0");
    f->findChild<QPushButton*>("RxSpeedButton1")->click();
    EXPECT_FALSE(f->isVisible());
    EXPECT_TRUE(w->overviewWindow()->isVisible());
    EXPECT_TRUE(w->program().overview().resultMode());
    EXPECT_EQ(w->overviewWindow()->grid().model()->rowCount(), 0) << "nothing has free space";
    w->overviewWindow()->close();
    w->findChild<QAction*>("FreienSpeicher1")->trigger();
    EXPECT_EQ(f->findChild<QLineEdit*>("speicher")->text(), "0") << "the size is kept";

    w->findChild<QAction*>("Bereich1")->trigger();
    auto* r = w->rangeDialog();
    ASSERT_TRUE(r && r->isVisible());
    EXPECT_EQ(r->findChild<QLineEdit*>("Bereich1")->text(), "0");
    r->findChild<QLineEdit*>("Bereich1")->setText("20");
    r->findChild<QLineEdit*>("Bereich2")->setText("10");
    {
        DialogAnswerer answers({"OK"});
        r->findChild<QPushButton*>("RxSpeedButton1")->click();
        EXPECT_EQ(answers.seen().size(), 1);
    }
    EXPECT_TRUE(r->isVisible());
    r->findChild<QLineEdit*>("Bereich1")->setText("0");
    r->findChild<QPushButton*>("RxSpeedButton1")->click();
    EXPECT_FALSE(r->isVisible());
    EXPECT_EQ(w->overviewWindow()->grid().model()->rowCount(), 0) << "no numbers in 0..10";
    const QStringList unnamed = unnamedControls({f, r});
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(", ").toStdString();
}

TEST_F(OverviewWindow, TheTreeIsBuiltExpandedAndOpensRecords) {
    w->findChild<QAction*>("Treeview1")->trigger();
    auto* t = w->treeWindow();
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(t->isVisible());
    auto& m = t->model();
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(m.rowCount(), 0) << "not built until asked";
    t->findChild<QPushButton*>("RefreshBtn")->click();
    ASSERT_EQ(m.rowCount(), 2);
    const QModelIndex spiel = m.index(0, 0);
    EXPECT_EQ(m.text(spiel), "Spiel");
    ASSERT_EQ(m.rowCount(spiel), 2);
    EXPECT_EQ(m.text(m.index(1, 0, spiel)), "Gamma");
    EXPECT_EQ(m.parent(m.index(1, 0, spiel)), spiel);
    EXPECT_EQ(m.text(m.index(0, 0, m.index(1, 0))), "Beta");
    EXPECT_FALSE(t->tree()->isExpanded(spiel));
    t->findChild<QRadioButton*>("ExpandBtn")->click();
    EXPECT_TRUE(t->tree()->isExpanded(spiel));
    emit t->tree()->doubleClicked(spiel);  // a category: nothing
    EXPECT_EQ(w->entryWindow(), nullptr);
    emit t->tree()->doubleClicked(m.index(1, 0, spiel));
    ASSERT_NE(w->entryWindow(), nullptr);
    EXPECT_EQ(w->entryWindow()->findChild<QLineEdit*>("NameEdit")->text(), "Gamma");
    EXPECT_EQ(w->entryWindow()->findChild<QComboBox*>("Kategorie")->count(), 210);
    QApplication::processEvents();
    const QString folder = qEnvironmentVariable("MV32_SCREENSHOTS");
    if (!folder.isEmpty()) t->grab().save(folder + "/treeview.png");
}

TEST_F(OverviewWindow, AScannedMediumIsRemovedFromItsWindow) {
    {
        DialogAnswerer answers({"OK"});
        w->findChild<QAction*>("Entfernen1")->trigger();
        EXPECT_EQ(answers.seen(), QStringList{"Mavrel/32: Keine Datenträger registriert!"});
    }
    EXPECT_TRUE(w->removalWindow() == nullptr || !w->removalWindow()->isVisible());
    std::ofstream(home.file("mv32list.chk"), std::ios::binary) << "DISK112AB34CD\r\n";
    w->findChild<QAction*>("Entfernen1")->trigger();
    auto* r = w->removalWindow();
    ASSERT_TRUE(r && r->isVisible());
    ASSERT_EQ(r->list()->count(), 1);
    EXPECT_EQ(r->list()->item(0)->text(), "DISK1 - 12AB34CD");
    r->list()->setCurrentRow(0);
    r->findChild<QPushButton*>("deletebtn")->click();
    EXPECT_EQ(r->list()->count(), 0);
    EXPECT_TRUE(r->findChild<QPushButton*>("abbruchbtn")->isEnabled());
    QApplication::processEvents();
    const QString folder = qEnvironmentVariable("MV32_SCREENSHOTS");
    if (!folder.isEmpty()) r->grab().save(folder + "/entfernen.png");
}

TEST_F(OverviewWindow, EveryControlIsNamedAndTheWindowPaints) {
    auto& o = open();
    w->UebersichtItemClick();
    std::ofstream(home.file("mv32list.chk"), std::ios::binary) << "DISK112AB34CD\r\n";
    w->Entfernen1Click();
    const QStringList unnamed = unnamedControls({&o, w->treeWindow(), w->removalWindow()});
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(", ").toStdString();
    QApplication::processEvents();
    QPixmap picture = o.grab();
    EXPECT_FALSE(picture.isNull());
    const QString folder = qEnvironmentVariable("MV32_SCREENSHOTS");
    if (!folder.isEmpty()) picture.save(folder + "/uebersicht.png");
}

}  // namespace mv32::test

namespace mv32::test {

TEST_F(OverviewWindow, OnlyASelectedMediumIsRemoved) {
    std::ofstream(home.file("mv32list.chk"), std::ios::binary)
        << "DISK112AB34CD\r\nDISK256780000\r\n";
    w->findChild<QAction*>("Entfernen1")->trigger();
    auto* r = w->removalWindow();
    ASSERT_TRUE(r && r->isVisible());
    // What Qt does when the window becomes active: a current row that nobody selected.
    r->list()->setCurrentRow(0, QItemSelectionModel::NoUpdate);
    ASSERT_TRUE(r->list()->selectedItems().isEmpty());
    r->findChild<QPushButton*>("deletebtn")->click();
    EXPECT_EQ(r->list()->count(), 2) << "nothing chosen, nothing removed";
    r->list()->item(1)->setSelected(true);
    r->findChild<QPushButton*>("deletebtn")->click();
    ASSERT_EQ(r->list()->count(), 1);
    EXPECT_EQ(r->list()->item(0)->text(), "DISK1 - 12AB34CD");
}

TEST_F(OverviewWindow, ARecordOpenedFromTheModalResultTakesInput) {
    open();  // already open from before: the full search's result is modal all the same
    bool modal = false, entryModal = false, entryInput = false, afterOverview = false;
    QTimer::singleShot(100, [&] {
        auto* o = w->overviewWindow();
        modal = o->isVisible() && QApplication::activeModalWidget() == o;
        auto& grid = o->grid();
        const QPoint at = grid.visualRect(grid.model()->index(0, 0)).center();
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, at);
        auto* e = w->entryWindow();
        entryModal = e && e->isVisible() && e->isModal();
        entryInput = e && QApplication::activeModalWidget() == e;
        // "Übersicht" in it: the result becomes the catalog, and neither window is modal.
        if (e) e->findChild<QPushButton*>("RxSpeedButton5")->click();
        afterOverview = e && e->isVisible() && !e->isModal() && o->isVisible() && !o->isModal() &&
                        !w->program().overview().resultMode();
        o->close();
    });
    w->program().guarded([&] {
        w->program().overview().showQuery("SELECT * FROM kat WHERE Kategorie = 'Spiel'", true,
                                          true);
    });
    EXPECT_TRUE(modal);
    EXPECT_TRUE(entryModal);
    EXPECT_TRUE(entryInput) << "the entry window is the one that takes input";
    EXPECT_TRUE(afterOverview);
    // Opened later with F5 it is an ordinary window again.
    ASSERT_NE(w->entryWindow(), nullptr);
    w->entryWindow()->hide();
    w->EingabeItemClick();
    EXPECT_FALSE(w->entryWindow()->isModal());
}

TEST_F(OverviewWindow, WindowsOpenInsideTheScreen) {
    w->showNormal();
    w->setGeometry(QRect(-40, -30, 200, 150));  // small, in a corner
    w->UebersichtItemClick();
    w->Undo1Click();
    const QRect screen = w->screen()->availableGeometry();
    for (QWidget* window : std::initializer_list<QWidget*>{w->treeWindow(), w->undoWindow()}) {
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(screen.contains(window->geometry())) << window->objectName().toStdString();
    }
}

TEST_F(OverviewWindow, CtrlDelDeletesTheCurrentRecordOfTheCatalogOnly) {
    auto& o = open();
    auto& grid = o.grid();
    grid.setFocus();
    grid.setCurrentIndex(grid.model()->index(1, 0));
    {
        DialogAnswerer answers({"Abbrechen"});
        QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
        EXPECT_EQ(answers.seen(), QStringList{"Bestätigen: Datensatz löschen?"});
    }
    EXPECT_EQ(cat().recordCount(), 3);
    {
        DialogAnswerer answers({"OK"});
        QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
    }
    EXPECT_EQ(cat().recordCount(), 2);
    EXPECT_EQ(w->document().undoTable().recordCount(), 1) << "journalled";
    EXPECT_FALSE(cat().locate("Name", {engine::Value("Beta")}));
}

}  // namespace mv32::test

namespace mv32::test {

TEST_F(OverviewWindow, SearchBoxesKeepWhatIsTypedAndEnterStartsTheSearch) {
    cat().first();
    cat().edit();
    cat().setAsString("Datentraeger", "CD");
    cat().setAsString("DatentraegerNr", "3");
    cat().post();
    // The full search: "CD" is searched, not the list's "CD-R"; Enter in a box starts it.
    w->findChild<QAction*>("GrosseSuche1")->trigger();
    auto* d = w->searchDialog();
    ASSERT_TRUE(d && d->isVisible());
    auto* medium = d->findChild<QComboBox*>("Datentraeger");
    QTest::keyClicks(medium->lineEdit(), "CD");
    EXPECT_EQ(d->criteria().medium, "CD");
    int rows = -1;
    QTimer::singleShot(100, [&] {
        rows = w->overviewWindow()->grid().model()->rowCount();
        w->overviewWindow()->close();
    });
    QTest::keyClick(medium->lineEdit(), Qt::Key_Return);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(rows, 1);

    // The range search: "CD" finds the record of type CD only.
    w->findChild<QAction*>("Bereich1")->trigger();
    auto* r = w->rangeDialog();
    r->findChild<QLineEdit*>("Bereich2")->setText("5");
    auto* type = r->findChild<QComboBox*>("Datentraeger");
    QTest::keyClicks(type->lineEdit(), "CD");
    EXPECT_EQ(type->currentText(), "CD");
    QTest::keyClick(type->lineEdit(), Qt::Key_Enter);
    EXPECT_FALSE(r->isVisible());
    EXPECT_EQ(w->overviewWindow()->grid().model()->rowCount(), 1);
    w->overviewWindow()->close();
}

}  // namespace mv32::test

namespace mv32::test {

TEST_F(OverviewWindow, AListFileThatCannotBeReadIsReportedAndTheListKept) {
    w->findChild<QAction*>("GrosseSuche1")->trigger();
    auto* d = w->searchDialog();
    auto* categories = d->findChild<QComboBox*>("KategorieEdit");
    const int before = categories->count();
    ASSERT_GT(before, 0);
    d->hide();
    std::filesystem::remove(home.file("KATLIST.TXT"));
    {
        DialogAnswerer answers({"OK"});
        w->findChild<QAction*>("GrosseSuche1")->trigger();
        ASSERT_EQ(answers.seen().size(), 1);
        EXPECT_TRUE(answers.seen()[0].contains("KATLIST.TXT")) << answers.seen()[0].toStdString();
        EXPECT_TRUE(answers.seen()[0].contains("Die Datei existiert nicht"));
    }
    EXPECT_EQ(categories->count(), before) << "the list as it was";
}

}  // namespace mv32::test
