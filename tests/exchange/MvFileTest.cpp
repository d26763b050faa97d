// Legacy MV files built byte by byte from the format tables: opening as a new catalog, importing,
// exporting, and the round trip.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "document/DocumentFixture.h"
#include "engine/Table.h"
#include "exchange/MvWriter.h"

namespace mv32::test {
namespace {

using document::Answer;
namespace fs = std::filesystem;

std::string header(int mark, int count) {
    std::string h = {3, 2, 0, 9, 12, 26, 8, 5, 3};
    const std::string digits = std::to_string(100000 + count).substr(1);
    for (char c : digits) h.push_back(static_cast<char>(c - '0'));
    h += std::string("\1\2\3\4\5\6\7\x08", 8);
    h.push_back(static_cast<char>(mark));
    return h;
}

// A short string of windows-1252 bytes.
std::string ss(const std::string& bytes) {
    return std::string(1, static_cast<char>(bytes.size())) + bytes;
}

struct Full {
    std::string name, nr = "    1", memo, count, of, serial, label, total, free, category, status,
                      dateTime;
    int code = 1;
    char drive = 0;
    std::string bytes() const {
        return ss(name) + std::string(1, static_cast<char>(code)) + nr + ss(memo) + ss(count) +
               ss(of) + ss(serial) + ss(label) + ss(total) + ss(free) + ss(category) +
               std::string(1, drive) + ss(status) + ss(dateTime);
    }
};

std::string shortRecord(const std::string& name, const std::string& medium10,
                        const std::string& nr5, const std::string& memo) {
    return ss(name) + medium10 + nr5 + ss(memo);
}

class MvFile : public DocumentFixture {
protected:
    void openMv(const std::string& path) {
        ui.choose(path, 2);
        doc->Oeffnen();
    }
    engine::Table& cat() { return doc->MV32(); }
    void at(const std::string& name) {
        ASSERT_TRUE(cat().locate("Name", {engine::Value(name)})) << name;
    }
};

TEST_F(MvFile, FullLayoutOpensAsANewCatalog) {
    Full a;
    a.name = "Textverarbeitung f\xFCr B\xFCro";
    a.code = 3;
    a.nr = "   12";
    a.memo = "Zeile 1\r\nZeile 2";
    a.count = "2";
    a.of = "3";
    a.serial = "1A2B3C4D";
    a.label = "PROGRAMME";
    a.total = "650000000";
    a.free = "1024";
    a.category = "Office";
    a.drive = 'D';
    a.status = "ok";
    a.dateTime = "09.12.2026 08:00";
    Full b;
    b.name = "Zweiter";
    b.code = 0;  // no medium type
    b.nr = "  -7 ";
    b.count = "x";
    Full c = b;
    c.name = "Dritter";
    c.code = 7;
    c.nr = "abcde";
    Full d;
    d.name = std::string(254, 'n');
    d.memo = std::string(254, 'm');
    d.category = std::string(254, 'k');
    d.code = 6;
    Full again = a;  // the name again: the values read last win
    again.code = 2;
    again.status = "zuletzt";

    writeFile(data("alt.MV"),
              header(14, 5) + a.bytes() + b.bytes() + c.bytes() + d.bytes() + again.bytes());
    openMv(data("alt.MV"));
    ASSERT_TRUE(doc->state().CatalogOpen);
    EXPECT_EQ(doc->state().CurrentFile, data("alt.db"));
    EXPECT_TRUE(doc->state().DataSaved);
    EXPECT_EQ(doc->state().ChangeCount, 0);
    EXPECT_FALSE(doc->state().AutoSaveHold);
    EXPECT_EQ(ui.title, "Mavrel/32 V.3.20  [alt.db]");
    EXPECT_EQ(ui.controls, document::ControlState::CatalogOpen);
    EXPECT_EQ(doc->recentFiles().paths().front(), data("alt.db"));
    EXPECT_EQ(ui.progressMax, 5);
    EXPECT_FALSE(ui.progressVisible);
    EXPECT_EQ(cat().recordCount(), 4);

    at("Textverarbeitung für Büro");
    EXPECT_EQ(cat().asString("Datentraeger"), "CDROM/CD-R");
    EXPECT_EQ(cat().asInteger("DatentraegerNr"), 12);
    EXPECT_EQ(cat().asString("Memo"), "Zeile 1\r\nZeile 2");
    EXPECT_EQ(cat().asInteger("Datentraeger_Anzahl"), 2);
    EXPECT_EQ(cat().asInteger("von"), 3);
    EXPECT_EQ(cat().asString("Serien_Nr"), "1A2B3C4D");
    EXPECT_EQ(cat().asString("Label"), "PROGRAMME");
    EXPECT_EQ(cat().asString("Gesamte_Groesse"), "650000000");
    EXPECT_EQ(cat().asString("Freier_Speicher"), "1024");
    EXPECT_EQ(cat().asString("Kategorie"), "Office");
    EXPECT_EQ(cat().asString("Laufwerk"), "D");
    EXPECT_EQ(cat().asString("Status"), "zuletzt");
    EXPECT_EQ(cat().asString("Datum_Uhrzeit"), "09.12.2026 08:00");

    at("Zweiter");
    EXPECT_TRUE(cat().isBlank("Datentraeger"));
    EXPECT_EQ(cat().asInteger("DatentraegerNr"), 0);  // "  -7 ": blank after the digits
    EXPECT_EQ(cat().asInteger("Datentraeger_Anzahl"), 0);
    EXPECT_EQ(cat().asInteger("von"), 0);
    EXPECT_EQ(cat().displayText("Laufwerk"), "");
    at("Dritter");
    EXPECT_TRUE(cat().isBlank("Datentraeger"));
    EXPECT_EQ(cat().asInteger("DatentraegerNr"), 0);
    at(std::string(254, 'n'));
    EXPECT_EQ(cat().asString("Datentraeger"), "NETZWERK");
    EXPECT_EQ(cat().asString("Memo").size(), 254u);
    EXPECT_EQ(cat().asString("Kategorie").size(), 254u);
}

TEST_F(MvFile, MediumCodesReadAsTheirTexts) {
    std::string bytes = header(14, 8);
    for (int code = 0; code <= 7; ++code) {
        Full r;
        r.name = "Code " + std::to_string(code);
        r.code = code;
        r.nr = "    " + std::to_string(code);
        bytes += r.bytes();
    }
    writeFile(data("codes.mv"), bytes);
    openMv(data("codes.mv"));
    const char* expected[] = {"",         "DISKETTE",   "CDROM/CD-R", "FESTPLATTE",
                              "STREAMER", "MO/ZIP/JAZ", "NETZWERK",   ""};
    for (int code = 0; code <= 7; ++code) {
        at("Code " + std::to_string(code));
        EXPECT_EQ(cat().displayText("Datentraeger"), expected[code]) << code;
        EXPECT_EQ(cat().asInteger("DatentraegerNr"), code);
    }
}

TEST_F(MvFile, ShortLayoutCarriesFourFields) {
    writeFile(data("kurz.MV"), header(13, 2) +
                                   shortRecord("Spiel", "Diskette  ", "  345", "Ein Spiel") +
                                   shortRecord("Tool", "CD-ROM 1/2", "00007", ""));
    openMv(data("kurz.MV"));
    ASSERT_TRUE(doc->state().CatalogOpen);
    at("Spiel");
    EXPECT_EQ(cat().asString("Datentraeger"), "Diskette  ");  // the ten bytes, taken whole
    EXPECT_EQ(cat().asInteger("DatentraegerNr"), 345);
    EXPECT_EQ(cat().asString("Memo"), "Ein Spiel");
    EXPECT_TRUE(cat().isBlank("Kategorie"));
    at("Tool");
    EXPECT_EQ(cat().asString("Datentraeger"), "CD-ROM 1/2");
    EXPECT_EQ(cat().asInteger("DatentraegerNr"), 7);
}

TEST_F(MvFile, NumbersBeyondTheFieldsAreLeftBlankWithOneNotice) {
    Full big;
    big.name = "Gross";
    big.nr = "32768";
    big.count = "99999";
    big.of = "123456789012345678901234567890";  // far beyond any integer
    Full edge;
    edge.name = "Rand";
    edge.nr = "32767";
    edge.count = "-32768";
    edge.of = "-32769";
    Full word;
    word.name = "Wort";
    word.nr = "  abc";  // no number at all: 0 as before, and not counted
    word.count = "";
    writeFile(data("Zahlen.MV"), header(14, 3) + big.bytes() + edge.bytes() + word.bytes());
    openMv(data("Zahlen.MV"));
    ASSERT_TRUE(doc->state().CatalogOpen);
    EXPECT_EQ(cat().recordCount(), 3);
    at("Gross");
    EXPECT_TRUE(cat().isBlank("DatentraegerNr"));
    EXPECT_TRUE(cat().isBlank("Datentraeger_Anzahl"));
    EXPECT_TRUE(cat().isBlank("von"));
    at("Rand");
    EXPECT_EQ(cat().asInteger("DatentraegerNr"), 32767);
    EXPECT_EQ(cat().asInteger("Datentraeger_Anzahl"), -32768);
    EXPECT_TRUE(cat().isBlank("von"));
    at("Wort");
    EXPECT_EQ(cat().asInteger("DatentraegerNr"), 0);
    EXPECT_EQ(cat().asInteger("Datentraeger_Anzahl"), 0);
    EXPECT_EQ(ui.dialogue().back(),
              "message Information \"4 Zahlenwerte der Datei »Zahlen.MV« passten nicht in die "
              "Zahlenfelder und wurden leer gelassen.\" OK");
    const auto said = ui.dialogue();
    EXPECT_EQ(std::count_if(said.begin(), said.end(),
                            [](const std::string& d) { return d.find("Zahlenwerte") != d.npos; }),
              1);

    writeFile(data("Kurz.MV"), header(13, 1) + shortRecord("Kurz", "FESTPLATTE", "40000", ""));
    openMv(data("Kurz.MV"));
    ASSERT_TRUE(doc->state().CatalogOpen);
    at("Kurz");
    EXPECT_TRUE(cat().isBlank("DatentraegerNr"));
    EXPECT_NE(ui.dialogue().back().find("\"1 Zahlenwerte der Datei »Kurz.MV«"), std::string::npos);

    // A file whose numbers all fit says nothing more.
    ui.clear();
    ui.answer(Answer::Ja);  // replace the catalog of the same name
    Full fits = edge;
    fits.of = "9";
    writeFile(data("Zahlen.MV"), header(14, 1) + fits.bytes());
    openMv(data("Zahlen.MV"));
    ASSERT_TRUE(doc->state().CatalogOpen);
    for (const auto& d : ui.dialogue()) EXPECT_EQ(d.find("Zahlenwerte"), d.npos) << d;
}

TEST_F(MvFile, NamesThatDifferOnlyInZeroBytesBecomeOneRecord) {
    // The catalog cannot hold zero bytes; both names are stored as "AB".
    writeFile(data("null.MV"), header(13, 2) +
                                   shortRecord(std::string("A\0B", 3), "DISKETTE  ", "    1", "") +
                                   shortRecord("AB", "CDROM     ", "    2", "zweiter"));
    openMv(data("null.MV"));
    ASSERT_TRUE(doc->state().CatalogOpen);
    EXPECT_EQ(cat().recordCount(), 1);
    at("AB");
    EXPECT_EQ(cat().asString("Memo"), "zweiter");
}

TEST_F(MvFile, OpeningAsksBeforeReplacingACatalogOfThatName) {
    makeCatalog(data("doppelt.db"), {"Wertvoll"});
    Full r;
    r.name = "Neu";
    writeFile(data("doppelt.MV"), header(14, 1) + r.bytes());

    ui.answer(Answer::Nein);
    openMv(data("doppelt.MV"));
    EXPECT_EQ(ui.dialogue().back(),
              "message Bestätigen \"Die Datei existiert bereits! Soll sie überschrieben "
              "werden?\" JaNein -> Nein");
    EXPECT_FALSE(doc->state().CatalogOpen);
    EXPECT_EQ(ui.title, "Mavrel/32 V.3.20");
    EXPECT_FALSE(ui.busyVisible);
    EXPECT_EQ(namesIn(data("doppelt.db")), std::vector<std::string>{"Wertvoll"});

    ui.answer(Answer::Ja);
    openMv(data("doppelt.MV"));
    EXPECT_TRUE(doc->state().CatalogOpen);
    EXPECT_EQ(cat().recordCount(), 1);
    at("Neu");
}

TEST_F(MvFile, ACutOffLastRecordKeepsTheCompleteOnesAndReportsTheDamage) {
    Full a, b;
    a.name = "Ganz";
    b.name = "Abgeschnitten";
    b.memo = "lang genug";
    const std::string whole = header(14, 2) + a.bytes() + b.bytes();
    for (size_t cut : {whole.size() - 1, whole.size() - 10, whole.size() - b.bytes().size() + 3}) {
        SCOPED_TRACE(cut);
        writeFile(data("kaputt.MV"), whole.substr(0, cut));
        ui.clear();
        if (exists(data("kaputt.db"))) ui.answer(Answer::Ja);  // from the round before
        openMv(data("kaputt.MV"));
        EXPECT_EQ(ui.dialogue().back(),
                  "message Fehler \"Fehler beim Laden der Datei! Möglicherweise beschädigt!\" "
                  "Abbrechen");
        EXPECT_FALSE(doc->state().CatalogOpen);
        EXPECT_TRUE(doc->state().DataSaved);
        EXPECT_FALSE(doc->state().AutoSaveHold);
        EXPECT_EQ(ui.controls, document::ControlState::NoCatalog);
        EXPECT_EQ(ui.title, "Mavrel/32 V.3.20");
        EXPECT_EQ(namesIn(data("kaputt.db")), std::vector<std::string>{"Ganz"});
    }
}

class MvImport : public MvFile {
protected:
    void SetUp() override {
        makeCatalog(data("offen.db"), {});
        openCatalog(data("offen.db"));
        cat().append();
        cat().setAsString("Name", "Vorhanden");
        cat().setAsString("Kategorie", "bleibt");
        cat().setAsString("Status", "alt");
        cat().post();
        ui.clear();
    }
    void importFile(const std::string& path) {
        ui.choose(path);
        reader->Import();
    }
};

TEST_F(MvImport, RecordsOfTheSameNameAreUpdated) {
    Full r;
    r.name = "Vorhanden";
    r.status = "neu";
    r.category = "bleibt";
    Full n;
    n.name = "Dazu";
    writeFile(data("imp.MV"), header(14, 2) + r.bytes() + n.bytes());
    writeFile(data("kurz.mv"),
              header(13, 1) + shortRecord("Vorhanden", "FESTPLATTE", "    9", "M"));
    importFile(data("imp.MV"));
    EXPECT_EQ(ui.fileDialogs.back().title, "MV-Dateien importieren");
    EXPECT_EQ(ui.fileDialogs.back().filter, "Mavrel Dateien (*.MV)|*.MV");
    EXPECT_EQ(ui.fileDialogs.back().defaultExt, "MV");
    EXPECT_EQ(ui.fileDialogs.back().initialName, "*.MV");
    EXPECT_EQ(cat().recordCount(), 2);
    at("Vorhanden");
    EXPECT_EQ(cat().asString("Status"), "neu");
    EXPECT_FALSE(doc->state().DataSaved);
    EXPECT_EQ(ui.status[1], "geändert");
    EXPECT_FALSE(doc->state().AutoSaveHold);

    // The short layout keeps the columns it does not carry; the question comes first now.
    ui.answerSaveData(false);
    importFile(data("kurz.mv"));
    EXPECT_EQ(ui.dialogue().front(), "open \"MV-Dateien importieren\" -> " + data("imp.MV"));
    EXPECT_EQ(ui.dialogue()[1], "Daten sichern? -> Nein");
    at("Vorhanden");
    EXPECT_EQ(cat().asString("Datentraeger"), "FESTPLATTE");
    EXPECT_EQ(cat().asString("Kategorie"), "bleibt");
    EXPECT_EQ(cat().asString("Status"), "neu");
    EXPECT_EQ(cat().asInteger("DatentraegerNr"), 9);
}

TEST_F(MvImport, NumbersBeyondTheFieldsAreCountedOncePerFile) {
    Full r;
    r.name = "Vorhanden";
    r.nr = "65535";
    r.count = "2";
    writeFile(data("imp.MV"), header(14, 1) + r.bytes());
    importFile(data("imp.MV"));
    at("Vorhanden");
    EXPECT_TRUE(cat().isBlank("DatentraegerNr"));
    EXPECT_EQ(cat().asInteger("Datentraeger_Anzahl"), 2);
    EXPECT_EQ(ui.dialogue().back(),
              "message Information \"1 Zahlenwerte der Datei »imp.MV« passten nicht in die "
              "Zahlenfelder und wurden leer gelassen.\" OK");
}

TEST_F(MvImport, RefusalsAndTheirMessages) {
    writeFile(data("leer.MV"), "");
    writeFile(data("kurz.MV"), std::string(10, '\0'));
    std::string old = header(12, 0);
    writeFile(data("alt.MV"), old);
    Full r;
    r.name = "Egal";
    writeFile(data("gemischt.Mv"), header(14, 1) + r.bytes());

    importFile(data("leer.MV"));
    importFile(data("kurz.MV"));
    importFile(data("fehlt.MV"));
    importFile(data("alt.MV"));
    importFile(data("gemischt.Mv"));  // neither ".mv" nor ".MV": stops without a word
    ui.cancelDialog();
    reader->Import();
    EXPECT_EQ(ui.dialogue(),
              (std::vector<std::string>{
                  "open \"MV-Dateien importieren\" -> " + data("leer.MV"),
                  "message Hinweis \"Die von Ihnen gewählte Datei ist leer! Ein Import hat "
                  "daher keinen Sinn!\" OK",
                  "open \"MV-Dateien importieren\" -> " + data("kurz.MV"),
                  "error \"Lesen nach Dateiende (EOF)\"",
                  "open \"MV-Dateien importieren\" -> " + data("fehlt.MV"),
                  "error \"Datei nicht gefunden\"",
                  "open \"MV-Dateien importieren\" -> " + data("alt.MV"),
                  "Ältere Version!",
                  "open \"MV-Dateien importieren\" -> " + data("gemischt.Mv"),
                  "open \"MV-Dateien importieren\" -> (abgebrochen)",
              }));
    EXPECT_EQ(cat().recordCount(), 1);
    EXPECT_TRUE(doc->state().DataSaved);
}

TEST_F(MvImport, TheFileChosenInTheOpenDialogIsRefused) {
    makeCatalog(data("zwei.db"), {"A"});
    Full r;
    r.name = "B";
    writeFile(data("zwei.MV"), header(14, 1) + r.bytes());
    ui.choose(data("zwei.db"));
    doc->Oeffnen();
    // The same text as chosen in the open dialog: refused.
    ui.choose(data("zwei.db"));
    reader->Import();  // not ".MV": silent
    writeFile(data("offen.MV"), header(14, 1) + r.bytes());
    ui.choose(data("offen.MV"), 2);
    ui.answer(Answer::Ja);  // offen.db exists
    doc->Oeffnen();
    ui.clear();
    importFile(data("offen.MV"));
    EXPECT_EQ(ui.dialogue().back(),
              "message Warnung \"Achtung: Sie versuchen eine bereits geöffnete Datei zu "
              "importieren! Das ist nicht möglich, der Vorgang wird abgebrochen!\" OK");
}

TEST_F(MvImport, ACutOffRecordKeepsWhatWasImported) {
    Full a, b;
    a.name = "Erster";
    b.name = "Zweiter";
    const std::string whole = header(14, 2) + a.bytes() + b.bytes();
    writeFile(data("halb.MV"), whole.substr(0, whole.size() - 2));
    importFile(data("halb.MV"));
    EXPECT_EQ(ui.dialogue().back(),
              "message Fehler \"Fehler beim Laden der Datei! Möglicherweise beschädigt!\" "
              "Abbrechen");
    EXPECT_EQ(cat().recordCount(), 2);  // "Vorhanden" and "Erster"
    at("Erster");
    EXPECT_FALSE(doc->state().AutoSaveHold);
    EXPECT_FALSE(ui.progressVisible);
    EXPECT_TRUE(doc->state().CatalogOpen);
}

class MvExport : public MvFile {
protected:
    exchange::MvWriter writer{*doc};
};

TEST_F(MvExport, AnEmptyCatalogIsTheHeaderAlone) {
    makeCatalog(data("leer.db"), {});
    openCatalog(data("leer.db"));
    ui.choose(data("leer"));
    writer.ExpMVItemClick();
    EXPECT_EQ(ui.fileDialogs.back().title, "Daten in das MV-Format exportieren");
    EXPECT_EQ(ui.fileDialogs.back().initialName, "leer");
    const std::string bytes = readFile(data("leer.MV"));
    EXPECT_EQ(bytes, std::string("\3\2\0\x09\x0c\x1a\x08\x05\x03\0\0\0\0\0", 14) +
                         std::string(8, '\0') + "\x0e");
    EXPECT_FALSE(doc->state().AutoSaveHold);
    EXPECT_FALSE(ui.busyVisible);

    // Over an existing file only after "&Ja".
    ui.choose(data("leer"));
    ui.answer(Answer::Nein);
    writer.ExpMVItemClick();
    EXPECT_TRUE(exists(data("leer.MV")));
    EXPECT_EQ(ui.dialogue().back(),
              "message Warnung \"Die Datei existiert bereits! Soll sie überschrieben werden?\" "
              "JaNein -> Nein");
}

TEST_F(MvExport, TheCountHasFiveDigitBytes) {
    std::vector<std::string> names;
    for (int i = 0; i < 123; ++i) names.push_back("P" + std::to_string(1000 + i));
    makeCatalog(data("viele.db"), names);
    openCatalog(data("viele.db"));
    writer.ExportToMV(data("viele.MV"));
    const std::string bytes = readFile(data("viele.MV"));
    EXPECT_EQ(bytes.substr(9, 5), std::string("\0\0\1\2\3", 5));
    EXPECT_EQ(exchange::encodeHeader({2026, 1, 2, 3, 4, 5}, 1234567).substr(9, 5),
              std::string("\1\2\3\4\5", 5));
}

TEST_F(MvExport, OneRecordByteByByte) {
    makeCatalog(data("k.db"), {});
    openCatalog(data("k.db"));
    auto& t = cat();
    t.append();
    t.setAsString("Name", "Büro €");
    t.setAsString("Datentraeger", "Festplatte");
    t.setAsInteger("DatentraegerNr", 42);
    t.setAsString("Memo", "Notiz");
    t.setAsInteger("Datentraeger_Anzahl", 1);
    t.setAsString("Serien_Nr", "ABCD1234");
    t.setAsString("Label", "DATEN");
    t.setAsString("Gesamte_Groesse", "12345678901234567890");
    t.setAsString("Laufwerk", "E");
    t.setAsString("Datum_Uhrzeit", std::string(30, 'd'));
    t.setAsString("Kategorie", "日本");  // not in windows-1252
    t.post();
    writer.ExportToMV(data("k.MV"));
    Full r;
    r.name = "B\xFCro \x80";
    r.code = 3;
    r.nr = "   42";
    r.memo = "Notiz";
    r.count = "1";
    r.serial = "ABCD1234";
    r.label = "DATEN";
    r.total = "123456789012345";
    r.category = "??";
    r.drive = 'E';
    r.dateTime = std::string(25, 'd');
    EXPECT_EQ(readFile(data("k.MV")).substr(23), r.bytes());
}

TEST_F(MvExport, ARoundTripReproducesTheCatalogWithinTheFormatsLimits) {
    makeCatalog(data("quelle.db"), {});
    openCatalog(data("quelle.db"));
    auto& t = cat();
    const struct {
        const char* name;
        const char* medium;
        const char* readBack;
    } rows[] = {{"Zeta", "Diskette", "DISKETTE"},      {"Alpha", "CDROM", "DISKETTE"},
                {"Mitte", "Festplatte", "FESTPLATTE"}, {"Netz", "netzwerk", "NETZWERK"},
                {"Zip", "MO/ZIP/JAZ", "MO/ZIP/JAZ"},   {"Band", "Streamer-Band", "DISKETTE"}};
    for (const auto& r : rows) {
        t.append();
        t.setAsString("Name", r.name);
        t.setAsString("Datentraeger", r.medium);
        t.setAsInteger("DatentraegerNr", -7);
        t.setAsString("Status", std::string(300, 's'));
        t.setValue("Grafik", engine::Value(std::string("\x89PNG", 4)));
        t.post();
    }
    t.setIndexName("");
    ui.choose(data("rund"));
    writer.ExpMVItemClick();
    EXPECT_TRUE(t.active());
    EXPECT_EQ(t.indexName(), "");

    ui.choose(data("ziel.db"));
    doc->Neu();
    reader->importFile(data("rund.MV"));
    EXPECT_EQ(t.recordCount(), 6);
    for (const auto& r : rows) {
        at(r.name);
        EXPECT_EQ(t.asString("Datentraeger"), r.readBack) << r.name;
        EXPECT_EQ(t.asInteger("DatentraegerNr"), -7);
        EXPECT_EQ(t.asInteger("Datentraeger_Anzahl"), 0);  // blank comes back as 0
        EXPECT_EQ(t.asString("Status"), std::string(254, 's'));
        EXPECT_TRUE(t.isBlank("Grafik"));
        EXPECT_EQ(t.displayText("Laufwerk"), "");
    }
}

}  // namespace
}  // namespace mv32::test
