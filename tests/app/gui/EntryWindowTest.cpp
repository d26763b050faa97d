// The entry window, the list editors and the window "Undo Tabelle" in the real main window on
// Qt's offscreen platform, driven by object name as a person would use them.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/gui/Mavrel32Main.h"
#include "app/gui/WindowTestSupport.h"
#include "document/Catalog.h"
#include "edit/gui/ListEditor.h"
#include "engine/Table.h"
#include "support/TempDir.h"

namespace mv32::test {
namespace {

using app::TMavrel32Main;
using edit::NavButton;

class EntryWindow : public ::testing::Test {
protected:
    void SetUp() override {
        w = mainWindowIn(home.path() + "/");
        engine::Table t;
        t.setTableName(home.file("kat.db"));
        document::createCatalogTable(t);
        t.open();
        for (const char* n : {"Alpha", "Beta"}) {
            t.append();
            t.setAsString("Name", n);
            t.setAsString("Kategorie", "Spiel");
            t.post();
        }
        t.close();
        w->document().openLastFile(home.file("kat.db"));
        w->show();
    }
    void TearDown() override { w.reset(); }

    template <typename T>
    T* child(QWidget* in, const char* name) {
        auto* c = in->findChild<T*>(name);
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    edit::TProgrammdateneingeben& open() {
        w->findChild<QAction*>("Eingabe1")->trigger();
        EXPECT_NE(w->entryWindow(), nullptr);
        return *w->entryWindow();
    }
    QString text(QWidget* in, const char* name) { return child<QLineEdit>(in, name)->text(); }
    engine::Table& cat() { return w->document().MV32(); }

    TempDir home;
    std::unique_ptr<TMavrel32Main> w;
};

}  // namespace

TEST_F(EntryWindow, RecordsAreEnteredChangedDeletedAndRestored) {
    auto& e = open();
    EXPECT_TRUE(e.isVisible());
    EXPECT_EQ(e.windowTitle(), "Programmdaten editieren");
    EXPECT_EQ(text(&e, "NameEdit"), "Alpha");
    EXPECT_EQ(child<QComboBox>(&e, "Kategorie")->currentText(), "Spiel");
    EXPECT_EQ(child<QComboBox>(&e, "Kategorie")->count(), 210);
    EXPECT_EQ(child<QComboBox>(&e, "Medium")->count(), 26);
    EXPECT_FALSE(text(&e, "DateTime").isEmpty()) << "the entry stamp, put into its box";

    // Typing changes the record; Save posts it.
    auto* name = child<QLineEdit>(&e, "NameEdit");
    name->selectAll();
    QTest::keyClicks(name, "Aleph");
    EXPECT_EQ(cat().state(), engine::DataSetState::Edit);
    e.navigator().button(NavButton::Post)->click();
    EXPECT_EQ(cat().state(), engine::DataSetState::Browse);
    EXPECT_EQ(cat().displayText("Name"), "Aleph");
    EXPECT_FALSE(cat().displayText("Datum_Uhrzeit").empty()) << "the stamp went in with it";

    // A number that does not fit: the engine's message, the record stays being edited with what
    // was typed.
    auto* nr = child<QLineEdit>(&e, "MediumNrEdit");
    QTest::keyClicks(nr, "40000");
    {
        DialogAnswerer answers({"OK"});
        e.navigator().button(NavButton::Post)->click();
        ASSERT_EQ(answers.seen().size(), 1);
        EXPECT_TRUE(answers.seen()[0].contains("40000")) << answers.seen()[0].toStdString();
    }
    EXPECT_EQ(cat().state(), engine::DataSetState::Edit);
    EXPECT_EQ(nr->text(), "40000");
    e.navigator().button(NavButton::Cancel)->click();
    EXPECT_EQ(nr->text(), "");

    // Add: a new record with the medium data of the one before.
    child<QLineEdit>(&e, "MediumNrEdit")->setFocus();
    QTest::keyClicks(child<QLineEdit>(&e, "MediumNrEdit"), "12");
    e.navigator().button(NavButton::Insert)->click();
    EXPECT_EQ(cat().state(), engine::DataSetState::Insert);
    EXPECT_EQ(e.pages()->currentIndex(), 0);
    EXPECT_EQ(text(&e, "MediumNrEdit"), "12");
    EXPECT_EQ(text(&e, "NameEdit"), "");
    QTest::keyClicks(name, "Gamma");
    e.navigator().button(NavButton::Post)->click();
    EXPECT_EQ(cat().recordCount(), 3);

    // Delete asks first; the deleted record goes into the journal, and Undo brings it back.
    EXPECT_FALSE(w->findChild<QAction*>("Undo1")->isEnabled());
    {
        DialogAnswerer answers({"OK"});
        e.navigator().button(NavButton::Delete)->click();
        EXPECT_EQ(answers.seen(), QStringList{"Bestätigen: Datensatz löschen?"});
    }
    EXPECT_EQ(cat().recordCount(), 2);
    EXPECT_TRUE(w->findChild<QAction*>("Undo1")->isEnabled());
    EXPECT_TRUE(w->findChild<QAction*>("UndoFast1")->isEnabled());
    w->findChild<QAction*>("Undo1")->trigger();
    auto* undo = w->undoWindow();
    ASSERT_NE(undo, nullptr);
    EXPECT_EQ(undo->grid().model()->rowCount(), 1);
    undo->grid().selectRow(0);
    {
        DialogAnswerer answers({"OK"});
        child<QPushButton>(undo, "RxSpeedButton2")->click();
        EXPECT_EQ(answers.seen().size(), 1);
    }
    EXPECT_EQ(cat().recordCount(), 3);
    {
        DialogAnswerer answers({"OK"});
        w->findChild<QAction*>("UndoFast1")->trigger();
    }
    EXPECT_FALSE(w->findChild<QAction*>("Undo1")->isEnabled());

    // Save with an empty name drops the new record; the window hides and comes back.
    e.navigator().button(NavButton::Insert)->click();
    e.navigator().button(NavButton::Post)->click();
    EXPECT_EQ(cat().recordCount(), 3);
    QTest::keyClick(&e, Qt::Key_Escape);
    EXPECT_FALSE(e.isVisible());
    w->findChild<QAction*>("Eingabe1")->trigger();
    EXPECT_EQ(w->entryWindow(), &e);
    EXPECT_TRUE(e.isVisible());
}

TEST_F(EntryWindow, APictureIsStoredAndShown) {
    auto& e = open();
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::red);
    const QString file = QString::fromStdString(home.file("bild.png"));
    ASSERT_TRUE(image.save(file));
    e.pages()->setCurrentIndex(static_cast<int>(edit::EntryPage::Graphik));
    auto* name = child<QLineEdit>(&e, "Directory");
    name->setText("\"" + file + "\"");
    QTest::keyClick(name, Qt::Key_Return);
    e.navigator().button(NavButton::Post)->click();
    auto* shown = child<QLabel>(&e, "DBImage1");
    EXPECT_EQ(shown->pixmap().size(), QSize(40, 30));
    e.navigator().button(NavButton::Next)->click();
    EXPECT_TRUE(shown->pixmap().isNull()) << "Beta has no picture";
    e.navigator().button(NavButton::Prior)->click();
    EXPECT_EQ(shown->pixmap().size(), QSize(40, 30));
    child<QCheckBox>(&e, "Stretch")->click();
    EXPECT_TRUE(shown->hasScaledContents());
}

TEST_F(EntryWindow, TheListEditorsChangeThePickListsAtOnce) {
    auto& e = open();
    std::filesystem::remove(home.file("KATLIST.TXT"));  // the person deleted it
    {
        DialogAnswerer answers({"&Abbrechen"});
        child<QPushButton>(&e, "KategorieListeBtn")->click();
        EXPECT_EQ(answers.seen(),
                  QStringList{"Fehler: Die erforderliche Kategorie-Datei ist nicht vorhanden!"});
    }
    std::ofstream(home.file("KATLIST.TXT"), std::ios::binary) << "Spiel\r\nSound\r\n";
    // The editor is modal: it is given a line and "&OK" while it shows.
    QTimer::singleShot(50, [] {
        auto* editor = qobject_cast<edit::TListEditor*>(QApplication::activeModalWidget());
        ASSERT_NE(editor, nullptr);
        EXPECT_EQ(editor->box()->toPlainText(), "Spiel\nSound\n");
        editor->box()->appendPlainText("Ärger");
        editor->findChild<QPushButton*>("OKBtn")->click();
    });
    child<QPushButton>(&e, "KategorieListeBtn")->click();
    auto* list = child<QComboBox>(&e, "Kategorie");
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->itemText(0), "Ärger");
    std::ifstream in(home.file("KATLIST.TXT"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, "Spiel\r\nSound\r\n\r\n\xc4rger\r\n");
}

// Every control can be found by its name; with MV32_SCREENSHOTS=<folder> each page is saved as
// a picture to look at.
TEST_F(EntryWindow, EveryControlIsNamedAndEveryPagePaints) {
    auto& e = open();
    w->Undo1Click();
    edit::TListEditor editor(home.file("KATLIST.TXT"), w->port(), w.get());
    const QStringList unnamed = unnamedControls({&e, w->undoWindow(), &editor});
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(", ").toStdString();

    const QString folder = qEnvironmentVariable("MV32_SCREENSHOTS");
    auto save = [&](QWidget& widget, const QString& name) {
        QApplication::processEvents();
        QPixmap picture = widget.grab();
        EXPECT_FALSE(picture.isNull()) << name.toStdString();
        if (!folder.isEmpty()) picture.save(folder + "/" + name + ".png");
    };
    for (int i = 0; i < e.pages()->count(); ++i) {
        e.pages()->setCurrentIndex(i);
        save(e, QString("eingabe-%1").arg(i));
    }
    save(*w->undoWindow(), "undo");
    save(editor, "liste-editieren");
}

}  // namespace mv32::test
