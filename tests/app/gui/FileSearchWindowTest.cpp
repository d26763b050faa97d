// The file search window in the real main window on Qt's offscreen platform: the file list in
// table and result mode with its popups, the take-over into the catalog, the start of a file
// whose medium is mounted elsewhere, and the file list let go for a scan.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/gui/Mavrel32Main.h"
#include "app/gui/WindowTestSupport.h"
#include "document/Catalog.h"
#include "scan/FileList.h"
#include "search/gui/Laufwerk.h"
#include "support/TempDir.h"

namespace mv32::test {
namespace {

using app::TMavrel32Main;

class FileSearchWindow : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(medium.file("urlaub"));
        std::ofstream(medium.file("urlaub/bild.jpg")) << "jpg";
        scan::FileList list(home.path() + "/");
        list.openOrCreate();
        list.addIfNew(medium.path() + "/urlaub/", "bild.jpg", 3, "FOTOS", "1A2B3C4D");
        list.addIfNew("/gibt/es/nicht/urlaub/", "strand.jpg", 4, "FOTOS", "1A2B3C4D");
        list.addIfNew("/n/", "README.TXT", 300, "DISK2", "0000000A");
        list.addIfNew("/n/", "liesmich.doc", 5368709120, "DISK2", "0000000A");
        list.commit();
        list.rebuildSecondaryIndexes();
        list.close();
        w = mainWindowIn(home.path() + "/");
        auto& s = w->program().settings();
        s.DatenbankPfad = home.path() + "/";
        s.SekIndexActive = true;
        s.ScanBackground = false;
        w->shellOpen = [this](const std::string& file, const std::string& folder) {
            opened.emplace_back(file, folder);
            return true;
        };
        w->show();
    }
    void TearDown() override {
        w.reset();
        qunsetenv("MV32_VOLUMES");
    }
    search::TDateiSuchenForm& open() {
        QAction* item = w->findChild<QAction*>("DateiSuchen1");
        EXPECT_EQ(item->shortcut(), QKeySequence("Ctrl+D"));
        item->trigger();
        EXPECT_NE(w->fileSearchWindow(), nullptr);
        return *w->fileSearchWindow();
    }
    void openCatalog() {
        engine::Table t;
        t.setTableName(home.file("kat.db"));
        document::createCatalogTable(t);
        t.open();
        t.append();
        t.setAsString("Name", "README.TXT");
        t.post();
        t.close();
        w->document().openLastFile(home.file("kat.db"));
    }
    // A click on a row of the grid, as the person enters a cell.
    static void click(QAbstractItemView& grid, int row) {
        const QModelIndex at = grid.model()->index(row, 0);
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.visualRect(at).center());
    }
    template <typename T>
    T* child(QWidget& f, const char* name) {
        T* c = f.findChild<T*>(name);
        EXPECT_NE(c, nullptr) << name;
        return c;
    }

    TempDir home;
    TempDir medium;
    std::unique_ptr<TMavrel32Main> w;
    std::vector<std::pair<std::string, std::string>> opened;
};

}  // namespace

TEST_F(FileSearchWindow, TheFileListIsSearchedSortedAndTakenOver) {
    auto& f = open();
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.windowTitle(), "Datei suchen");
    auto& grid = f.grid();
    ASSERT_EQ(grid.model()->columnCount(), 6);
    EXPECT_EQ(grid.model()->rowCount(), 4);
    EXPECT_EQ(grid.model()->headerData(5, Qt::Horizontal).toString(), "VolID");
    EXPECT_EQ(grid.model()->index(0, 0).data().toString(), "README.TXT");  // name order
    EXPECT_EQ(grid.model()->index(2, 3).data().toString(), "5368709120");
    EXPECT_EQ(grid.horizontalHeader()->defaultAlignment(), Qt::AlignCenter);
    EXPECT_EQ(f.positionText(), "Datei 1 von 4");
    EXPECT_EQ(f.currentPopup(), f.tablePopup());
    EXPECT_TRUE(f.navigator().button(edit::NavButton::Delete)->isVisibleTo(&f));
    auto* find = child<QPushButton>(f, "BeginSuchenBtn");
    auto* back = child<QPushButton>(f, "BackBtn");
    auto* edit = child<QLineEdit>(f, "DateiSuchenEdit");
    EXPECT_FALSE(find->isEnabled());
    EXPECT_FALSE(back->isEnabled());

    // The exact lookup, then the size order refusing letters.
    edit->setText("strand.jpg");
    EXPECT_TRUE(find->isEnabled());
    EXPECT_EQ(f.positionText(), "Datei 4 von 4");
    f.findChild<QAction*>("sortierennachGre1")->trigger();
    EXPECT_EQ(f.core().table().indexName(), "GroesseIndex");
    {
        DialogAnswerer answers({"OK"});
        edit->setText("abc");
        EXPECT_EQ(answers.seen().size(), 1);
        EXPECT_TRUE(answers.seen().value(0).endsWith("geben Sie bitte nur ZAHLEN ein!"));
    }
    f.findChild<QAction*>("sortierennachDateiname1")->trigger();

    // Result mode.
    edit->setText("JPG");
    find->click();
    EXPECT_TRUE(f.core().resultMode());
    EXPECT_EQ(f.grid().model()->rowCount(), 2);
    EXPECT_FALSE(edit->isEnabled());
    EXPECT_TRUE(back->isEnabled());
    EXPECT_EQ(f.currentPopup(), f.resultPopup());
    EXPECT_FALSE(f.navigator().button(edit::NavButton::Delete)->isVisibleTo(&f));
    f.findChild<QAction*>("sortierennachGre2")->trigger();
    EXPECT_EQ(f.core().statement(),
              "SELECT * FROM mv32list WHERE (UPPER(Dateiname) LIKE \"%JPG%\") ORDER BY Groesse");
    EXPECT_EQ(f.grid().model()->index(0, 0).data().toString(), "bild.jpg");

    // No catalog open: only the message.
    {
        DialogAnswerer answers({"OK"});
        emit f.grid().doubleClicked(f.grid().model()->index(0, 0));
        EXPECT_EQ(
            answers.seen(),
            QStringList{"Mavrel/32: Öffnen Sie zuerst eine Datei oder legen Sie eine neu an!"});
    }
    openCatalog();
    f.grid().setCurrentIndex(f.grid().model()->index(0, 0));
    emit f.grid().doubleClicked(f.grid().model()->index(0, 0));
    ASSERT_NE(w->entryWindow(), nullptr);
    EXPECT_TRUE(w->entryWindow()->isVisible());
    EXPECT_EQ(w->entryWindow()->findChild<QLineEdit*>("NameEdit")->text(), "bild.jpg");
    w->entryWindow()->close();

    // Every selected file; one of them is there already.
    child<QPushButton>(f, "BackBtn")->click();
    EXPECT_FALSE(f.core().resultMode());
    EXPECT_TRUE(edit->isEnabled());
    click(f.grid(), 0);
    f.grid().selectAll();
    EXPECT_TRUE(child<QPushButton>(f, "AllSelected")->isEnabled());
    {
        DialogAnswerer answers({"OK"});
        child<QPushButton>(f, "AllSelected")->click();
        EXPECT_EQ(answers.seen(),
                  QStringList{"Mavrel/32: Die gewählten Dateien wurden in die Hauptdatenbank "
                              "übernommen."});
    }
    EXPECT_EQ(w->document().MV32().recordCount(), 4);

    // A scan from the menu closes the window first, so the scan gets the file list.
    w->findChild<QAction*>("Scannen1")->trigger();
    EXPECT_FALSE(f.isVisible());
    EXPECT_FALSE(f.core().table().active());
    w->scanDialog()->close();
    open();
    EXPECT_TRUE(f.core().table().active());
    EXPECT_FALSE(f.core().resultMode());
}

TEST_F(FileSearchWindow, AFileStartsFromItsFolderOrFromTheDriveItsMediumIsInNow) {
    const std::string volumes = home.file("volumes");
    std::ofstream(volumes) << "E\t" << medium.path() << "\tFOTOS\t1A2B3C4D\t100\t10\n";
    qputenv("MV32_VOLUMES", QByteArray::fromStdString(volumes));
    auto& f = open();
    auto& grid = f.grid();
    auto* exec = child<QPushButton>(f, "ExecFile");
    EXPECT_FALSE(exec->isEnabled());
    click(grid, 1);  // bild.jpg, where it was scanned
    ASSERT_TRUE(exec->isEnabled());
    exec->click();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].first, medium.path() + "/urlaub/bild.jpg");
    EXPECT_EQ(opened[0].second, medium.path() + "/urlaub/");

    click(grid, 3);  // strand.jpg: its medium is elsewhere
    std::ofstream(medium.file("urlaub/strand.jpg")) << "jpg";
    {
        DialogAnswerer answers({"OK", "OK"});
        exec->click();
        ASSERT_EQ(answers.seen().size(), 2);
        EXPECT_EQ(answers.seen()[0],
                  "Fehler: Die Datei konnte nicht gefunden werden! Bitte legen Sie den "
                  "Datenträger mit dem Label FOTOS und der Seriennummer 1A2B3C4D ein!");
        EXPECT_TRUE(answers.seen()[1].startsWith("Laufwerk"));
    }
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[1].first, medium.path() + "/urlaub/strand.jpg");
}

TEST_F(FileSearchWindow, EveryControlIsNamedAndTheWindowPaints) {
    auto& f = open();
    search::TLaufwerk drives({}, &f);
    const QStringList unnamed = unnamedControls({&f, &drives});
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(", ").toStdString();
    QApplication::processEvents();
    QPixmap picture = f.grab();
    EXPECT_FALSE(picture.isNull());
    const QString folder = qEnvironmentVariable("MV32_SCREENSHOTS");
    if (!folder.isEmpty()) picture.save(folder + "/dateisuchen.png");
}

}  // namespace mv32::test

namespace mv32::test {

TEST_F(FileSearchWindow, TheResultTellsItsHitsAndTheCommandsStayWithTheCell) {
    auto& f = open();
    auto* edit = child<QLineEdit>(f, "DateiSuchenEdit");
    auto* exec = child<QPushButton>(f, "ExecFile");
    EXPECT_EQ(f.hitsText(), "") << "table mode";
    QTest::keyClicks(edit, "jpg");
    QTest::keyClick(edit, Qt::Key_Return);  // "&Suchen" is the default button
    ASSERT_TRUE(f.core().resultMode());
    EXPECT_EQ(f.hitsText(), "Treffer: 2");
    EXPECT_EQ(f.positionText(), "Datei 1 von 4") << "the box keeps the file list's record";
    f.findChild<QAction*>("sortierennachVerzeichnis2")->trigger();
    EXPECT_EQ(f.hitsText(), "Treffer: 2");

    f.grid().setFocus();
    click(f.grid(), 1);
    EXPECT_TRUE(exec->isEnabled());
    exec->setFocus();  // the focus going to a button leaves no cell
    EXPECT_TRUE(exec->isEnabled());
    EXPECT_TRUE(child<QPushButton>(f, "AllSelected")->isEnabled());

    // The next opening follows the setting as it is then.
    w->program().settings().SekIndexActive = false;
    f.close();
    open();
    EXPECT_EQ(f.currentPopup(), nullptr);
}

}  // namespace mv32::test
