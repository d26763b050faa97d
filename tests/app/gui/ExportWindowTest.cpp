// The exports and the catalog import from the real main window on Qt's offscreen platform: the
// options dialogs with their defaults, the save dialog, the files written, a search result
// exported from the overview's popup.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QMenu>
#include <memory>

#include "app/gui/Mavrel32Main.h"
#include "app/gui/WindowTestSupport.h"
#include "document/Catalog.h"
#include "engine/Table.h"
#include "exchange/gui/ExportDialog.h"
#include "report/gui/QREinstell.h"
#include "support/TempDir.h"

namespace mv32::test {
namespace {

class ExportWindow : public ::testing::Test {
protected:
    void SetUp() override {
        w = mainWindowIn(home.path() + "/");
        catalog(home.file("kat.db"), {"Alpha", "Beta", "Gamma"});
        w->document().openLastFile(home.file("kat.db"));
        w->show();
    }
    void TearDown() override { w.reset(); }
    static void catalog(const std::string& path, const std::vector<const char*>& names) {
        engine::Table t;
        t.setTableName(path);
        document::createCatalogTable(t);
        t.open();
        for (const char* n : names) {
            t.append();
            t.setAsString("Name", n);
            t.setAsString("Kategorie", "Spiel");
            t.post();
        }
        t.close();
    }
    static QByteArray contents(const std::string& path) {
        QFile f(QString::fromStdString(path));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void trigger(const char* item) { w->findChild<QAction*>(item)->trigger(); }

    TempDir home;
    std::unique_ptr<app::TMavrel32Main> w;
};

}  // namespace

TEST_F(ExportWindow, TheCatalogIsExportedAsTextHtmlAndDbase) {
    const QString txt = QString::fromStdString(home.file("liste"));
    {
        DialogAnswerer answers({"&Ok", "Datei:" + txt});
        trigger("ExpASCIIItem");
        EXPECT_TRUE(answers.done());
    }
    const QByteArray text = contents(home.file("liste.txt"));
    EXPECT_TRUE(text.contains("     3 Gamma\r\n       Datentraegernummer: \r\n")) << text.constData();
    {
        DialogAnswerer answers({"&Ok", "Datei:" + QString::fromStdString(home.file("web.HTML"))});
        trigger("ExpHTMLItem");
        EXPECT_TRUE(answers.done());
    }
    EXPECT_TRUE(contents(home.file("web.HTML")).contains("web_G.HTML"));
    EXPECT_TRUE(contents(home.file("web_B.HTML")).contains("Beta"));
    {
        DialogAnswerer answers({"Datei:" + QString::fromStdString(home.file("k.DBF"))});
        trigger("ExpDBFItem");
        EXPECT_TRUE(answers.done());
        EXPECT_EQ(answers.seen().size(), 1);  // no message on success
    }
    EXPECT_EQ(contents(home.file("k.DBF")).size(), 32 + 14 * 32 + 1 + 3 * (1 + 1116) + 1);
    // An existing file: the program asks once (the file dialog does not ask as well).
    {
        DialogAnswerer answers({"&Ok", "Datei:" + txt + ".txt", "&Ja"});
        trigger("ExpASCIIItem");
        EXPECT_TRUE(answers.done());
        EXPECT_EQ(answers.seen().value(2),
                  "Warnung: Die Datei existiert bereits! Soll sie überschrieben werden?");
    }
    // Abbrechen in the options dialog: no file dialog follows.
    {
        DialogAnswerer answers({"&Abbrechen"});
        trigger("ExpASCIIItem");
        EXPECT_EQ(answers.seen().size(), 1);
    }
}

TEST_F(ExportWindow, ACatalogIsMergedIn) {
    catalog(home.file("alt.db"), {"Alpha", "Delta"});
    DialogAnswerer answers({"Datei:" + QString::fromStdString(home.file("alt.db")), "OK"});
    trigger("ImportDBItem");
    EXPECT_TRUE(answers.done());
    EXPECT_EQ(answers.seen().value(1), "Mavrel/32: Die Datei ALT.DB wurde der Datenbank hinzugefügt!");
    EXPECT_EQ(w->document().MV32().recordCount(), 4);
}

TEST_F(ExportWindow, ASearchResultIsExportedFromTheOverview) {
    w->UebersichtBtnClick();
    w->program().overview().showQuery("SELECT Name FROM kat.db WHERE Name > 'Alpha'", false, false);
    auto* overview = w->overviewWindow();
    ASSERT_NE(overview, nullptr);
    QAction* item = overview->findChild<QAction*>("DatenmengeexportierenASCII1");
    {
        DialogAnswerer answers(
            {"&Ok", "Datei:" + QString::fromStdString(home.file("ergebnis.TXT"))});
        item->trigger();
        EXPECT_TRUE(answers.done());
    }
    const QByteArray text = contents(home.file("ergebnis.TXT"));
    EXPECT_TRUE(text.contains("     1 Beta\r\n" + QByteArray(7, ' ') + QByteArray(71, '-')))
        << text.constData();
    EXPECT_TRUE(text.contains("     2 Gamma\r\n"));
    EXPECT_FALSE(text.contains("Alpha"));
}

TEST_F(ExportWindow, TheDialogsStartFromTheirDefaultsAndAreNamed) {
    exchange::TExportDialog text(exchange::ExportKind::Text, {}, w.get());
    exchange::TExportDialog html(exchange::ExportKind::Html, {}, w.get());
    EXPECT_EQ(text.windowTitle(), "Daten in ASCII-Datei exportieren");
    EXPECT_EQ(html.windowTitle(), "Daten in HTML-Datei exportieren");
    auto checked = [](QDialog& d, const char* name) {
        return d.findChild<QCheckBox*>(name)->isChecked();
    };
    for (const char* on : {"ProgCheckBox", "MedCheckBox", "MedNrCheckBox", "KatCheckBox"})
        EXPECT_TRUE(checked(text, on)) << on;
    for (const char* off : {"AnzCheckBox", "InfoCheckBox", "StatCheckBox", "DateCheckBox"})
        EXPECT_FALSE(checked(text, off)) << off;
    EXPECT_FALSE(text.findChild<QCheckBox*>("ProgCheckBox")->isEnabled());
    EXPECT_EQ(text.findChild<QCheckBox*>("MemoCheckBox"), nullptr);
    EXPECT_FALSE(checked(html, "MemoCheckBox"));
    EXPECT_TRUE(checked(html, "DatenTeilen"));
    const QStringList unnamed = unnamedControls({&text, &html});
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(", ").toStdString();
    html.show();
    QApplication::processEvents();
    const QString folder = qEnvironmentVariable("MV32_SCREENSHOTS");
    if (!folder.isEmpty()) html.grab().save(folder + "/htmlexport.png");
}

TEST_F(ExportWindow, TheListIsPreviewedFromTheSettingsDialog) {
    int previews = 0;
    QPixmap picture;
    w->previewShown = [&](QWidget* preview) {
        ++previews;
        QApplication::processEvents();
        picture = preview->grab();
        EXPECT_NE(preview->findChild<QAction*>("AlsPdfSpeichern"), nullptr);
        preview->close();
    };
    {
        DialogAnswerer answers({"OK"});
        QAction* print = w->findChild<QAction*>("Drucken2");
        EXPECT_EQ(print->shortcut(), QKeySequence("Ctrl+P"));
        print->trigger();
        EXPECT_TRUE(answers.done());
        EXPECT_EQ(answers.seen().value(0).left(31), "QuickReport Druckeinstellungen:");
    }
    EXPECT_EQ(previews, 1);
    EXPECT_FALSE(picture.isNull());
    const QString folder = qEnvironmentVariable("MV32_SCREENSHOTS");
    if (!folder.isEmpty()) picture.save(folder + "/vorschau.png");
    // A search result from the overview's popup; Abbrechen prints nothing.
    w->UebersichtBtnClick();
    w->program().overview().showQuery("SELECT * FROM kat.db WHERE Name > 'Alpha'", false, false);
    {
        DialogAnswerer answers({"OK"});
        w->overviewWindow()->findChild<QAction*>("Datenmengedrucken1")->trigger();
        EXPECT_TRUE(answers.done());
    }
    EXPECT_EQ(previews, 2);
    {
        DialogAnswerer answers({"Abbrechen"});
        w->findChild<QAction*>("Drucken2")->trigger();
    }
    EXPECT_EQ(previews, 2);

    report::TQREinstell settings(w.get());
    EXPECT_EQ(settings.margin(), "15");
    EXPECT_EQ(settings.columns(), "2");
    EXPECT_EQ(settings.paper(), report::Paper::Standard);
    const QStringList unnamed = unnamedControls({&settings});
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(", ").toStdString();
    settings.show();
    QApplication::processEvents();
    if (!folder.isEmpty()) settings.grab().save(folder + "/druckeinstellungen.png");
}

}  // namespace mv32::test

#include <QPrinter>
#include <QProcess>
#include <QToolBar>

namespace mv32::test {

TEST_F(ExportWindow, ThePrintDialogsPageIsThePageTheListIsLaidOutFor) {
    // Enough names for several columns and pages, each long enough to reach its column's end.
    for (int i = 0; i < 150; ++i) {
        auto& t = w->document().MV32();
        t.append();
        t.setAsString("Name", "Programm mit einem sehr langen Namen Nummer " + std::to_string(1000 + i));
        t.post();
    }
    const struct {
        const char* what;
        QPageLayout::Orientation orientation;
        QPageSize::PageSizeId size;
    } choices[] = {{"quer", QPageLayout::Landscape, QPageSize::A4},
                   {"A5", QPageLayout::Portrait, QPageSize::A5}};
    for (const auto& c : choices) {
        SCOPED_TRACE(c.what);
        const std::string pdf = home.file(std::string("liste-") + c.what + ".pdf");
        QString proposed, docName;
        QStringList toolbar;
        w->printDialog = [&](QPrinter& printer) {
            proposed = printer.outputFileName();
            docName = printer.docName();
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(QString::fromStdString(pdf));
            printer.setPageSize(QPageSize(c.size));
            printer.setPageOrientation(c.orientation);
            return true;
        };
        w->previewShown = [&](QWidget* preview) {
            for (QAction* a : preview->findChild<QToolBar*>()->actions()) toolbar << a->text();
            preview->findChild<QAction*>("DruckenBtn")->trigger();
            preview->close();
        };
        DialogAnswerer answers({"OK"});
        trigger("Drucken2");
        EXPECT_TRUE(answers.done());
        EXPECT_EQ(docName, "Mavrel/32");
        EXPECT_EQ(proposed.toStdString(), home.path() + "/kat.pdf")
            << "the catalog's name in the folder of the last file dialog";
        EXPECT_FALSE(toolbar.contains("Querformat") || toolbar.contains("Landscape") ||
                     toolbar.contains("Seite einrichten") || toolbar.contains("Page setup"))
            << toolbar.join(", ").toStdString();
        // Every record is on the paper, its labels whole: pdftotext reads the pages' text.
        QProcess text;
        text.start("pdftotext", {QString::fromStdString(pdf), "-"});
        if (!text.waitForFinished(60000)) GTEST_SKIP() << "pdftotext fehlt";
        const QString all = QString::fromUtf8(text.readAllStandardOutput());
        EXPECT_EQ(all.count("Datenträgernr.:"), 153) << "every label whole, on the page";
        EXPECT_TRUE(all.contains("Alpha"));
    }
}

}  // namespace mv32::test

namespace mv32::test {

TEST_F(ExportWindow, PrintingIntoTheCatalogsOwnFileIsRefused) {
    const QByteArray before = contents(home.file("kat.db"));
    w->printDialog = [&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(home.path() + "/./KAT.db"));
        return true;
    };
    QStringList seen;
    w->previewShown = [&](QWidget* preview) {
        DialogAnswerer refusal({"&Abbrechen"});
        preview->findChild<QAction*>("DruckenBtn")->trigger();
        seen = refusal.seen();
        preview->close();
    };
    DialogAnswerer answers({"OK"});
    trigger("Drucken2");
    ASSERT_EQ(seen.size(), 1);
    EXPECT_TRUE(seen[0].contains("kat.db")) << seen[0].toStdString();
    EXPECT_EQ(contents(home.file("kat.db")), before);
}

}  // namespace mv32::test
