#include "exchange/MvReader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "document/Catalog.h"
#include "document/CatalogDocument.h"
#include "engine/EngineError.h"
#include "engine/SystemPaths.h"
#include "engine/Table.h"
#include "engine/Text.h"
#include "exchange/MvParser.h"
#include "platform/Paths.h"

namespace mv32::exchange {

using document::Animation;
using document::Answer;
using document::Buttons;
using document::MessageKind;

std::string readWholeFile(const std::string& path) {
    std::FILE* f = engine::paths::openFile(path, "rb");
    if (!f) {
        if (errno == ENOENT) throw std::runtime_error("Datei nicht gefunden");
        throw std::runtime_error("Die Datei »" + path +
                                 "« kann nicht gelesen werden: " + std::strerror(errno));
    }
    std::string bytes;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) throw std::runtime_error("Die Datei »" + path + "« kann nicht gelesen werden.");
    return bytes;
}

namespace {

// A number that did not fit its field leaves the field blank.
void setNumber(engine::Table& t, std::string_view field, std::optional<int> n) {
    if (n)
        t.setAsInteger(field, *n);
    else
        t.clear(field);
}

}  // namespace

void storeRecord(engine::Table& t, const mv::Record& r, int mark) {
    // Looked up in the form the catalog stores (without zero bytes, cut to the field), so that
    // two names that differ only there end as one record instead of a key violation.
    const std::string name = engine::text::fitToWidth(r.name, 255);
    if (t.locate("Name", {engine::Value(name)}))
        t.edit();
    else
        t.append();
    if (mark == mv::kShortLayout) {
        t.setAsString("Name", name);
        t.setAsString("Datentraeger", r.mediumText);
        setNumber(t, "DatentraegerNr", r.mediumNumber);
        t.setAsString("Memo", r.memo);
    } else {
        if (const char* medium = mv::mediumText(r.mediumCode))
            t.setAsString("Datentraeger", medium);
        setNumber(t, "DatentraegerNr", r.mediumNumber);
        t.setAsString("Memo", r.memo);
        setNumber(t, "Datentraeger_Anzahl", r.count);
        setNumber(t, "von", r.of);
        t.setAsString("Serien_Nr", r.serial);
        t.setAsString("Label", r.label);
        t.setAsString("Gesamte_Groesse", r.totalSize);
        t.setAsString("Freier_Speicher", r.freeSpace);
        t.setAsString("Kategorie", r.category);
        t.setAsString("Laufwerk", r.drive);
        t.setAsString("Status", r.status);
        t.setAsString("Datum_Uhrzeit", r.dateTime);
        t.setAsString("Name", name);
    }
    t.post();
}

void MvReader::readRecords(const std::string& bytes) {
    MvParser parser(bytes);
    auto& ui = doc_.ui();
    engine::Table& t = doc_.MV32();
    ui.setProgressRange(0, parser.headerCount());
    mv::Record r;
    int64_t done = 0;
    unfitting_ = 0;
    t.beginBulk();
    try {
        while (parser.next(r)) {
            storeRecord(t, r, parser.mark());
            unfitting_ = parser.unfitting();  // counted once the record is stored
            ui.setProgressPosition(++done);
        }
    } catch (...) {
        if (t.state() == engine::DataSetState::Edit || t.state() == engine::DataSetState::Insert)
            t.cancel();
        t.endBulk();
        throw;
    }
    t.endBulk();
}

namespace {

// Whether another handle, in this program or another, holds the catalog.
bool catalogInUse(const std::string& dbPath) {
    engine::Table probe;
    probe.setTableName(dbPath);
    probe.setExclusive(true);
    try {
        probe.open();
    } catch (const engine::EngineError& e) {
        return e.kind() == engine::ErrorKind::Locked;
    }
    return false;
}

}  // namespace

void MvReader::reportUnfitting(const std::string& mvPath) {
    if (unfitting_ == 0) return;
    doc_.ui().message(MessageKind::Information,
                      std::to_string(unfitting_) + " Zahlenwerte der Datei »" +
                          platform::fileNameOf(mvPath) +
                          "« passten nicht in die Zahlenfelder und wurden leer gelassen.",
                      Buttons::Ok);
    unfitting_ = 0;
}

void MvReader::openAsNewCatalog(const std::string& mvPath, int mark) {
    (void)mark;  // the parser reads the mark from the file itself
    auto& ui = doc_.ui();
    auto& st = doc_.state();
    engine::Table& t = doc_.MV32();
    ui.showAnimation(Animation::Busy, true);
    st.AutoSaveHold = true;
    const std::string dbPath = mvPath.substr(0, mvPath.size() - 2) + "db";
    // The new catalog is built under a name of its own beside the old one, which it replaces
    // only when it is complete: a damaged file or a full disk leaves the old catalog as it was.
    const std::string building = document::catalogBase(dbPath) + ".~neu.db";
    std::error_code ec;
    bool replacing = false;
    bool keptDamaged = false;  // the records before a damage became the catalog
    unfitting_ = 0;
    try {
        const std::string bytes = readWholeFile(mvPath);
        ui.showProgress(true);
        replacing = std::filesystem::exists(engine::paths::fsPath(dbPath), ec);
        if (replacing && ui.message(MessageKind::Bestaetigen, document::kOverwriteQuestion,
                                    Buttons::JaNein) != Answer::Ja) {
            doc_.toNoCatalog();
            return;
        }
        t.close();
        if (replacing && catalogInUse(dbPath)) {
            ui.message(MessageKind::Fehler,
                       "Der Katalog »" + platform::fileNameOf(dbPath) +
                           "« ist gerade geöffnet (in einem anderen Fenster des Programms oder "
                           "von einem anderen Programm) und kann nicht ersetzt werden.",
                       Buttons::Abbrechen);
            doc_.toNoCatalog();
            st.DataSaved = true;
            return;
        }
        t.setDirectory(platform::folderOf(building));
        t.setTableName(building);
        document::createCatalogTable(t);
        document::repairPrimaryKey(t);
        doc_.syncIndexes();
        t.open();
        ui.processEvents();
        try {
            readRecords(bytes);
        } catch (const MvDamaged&) {
            // The records before the damage make the catalog where there was none, as they
            // always did; an existing catalog stays as it was.
            t.close();
            if (!replacing) {
                t.moveTable(dbPath);
                keptDamaged = true;
            }
            throw;
        }
        t.close();
        t.moveTable(dbPath);
        t.open();
        t.first();
        st.CurrentFile = dbPath;
        st.CatalogOpen = true;
        st.DataSaved = true;
        ui.showProgress(false);
        st.ChangeCount = 0;
        ui.setStatusText(1, "");
        doc_.AktiviereControls();
        doc_.recentFiles().add(dbPath);
        ui.setRecentFiles(doc_.recentFiles().paths());
        doc_.setTitleFor(dbPath);
        doc_.updateRecordLabel();
        reportUnfitting(mvPath);
    } catch (const std::exception& e) {
        try {
            t.close();
            engine::Table rest;
            rest.setTableName(building);
            if (rest.exists()) rest.deleteTable();
        } catch (const std::exception&) {  // a leftover under the building name harms nothing
        }
        // A damaged file is the program's message; the engine's failures (a full disk, a
        // read-only folder) say what really went wrong.
        if (dynamic_cast<const engine::EngineError*>(&e))
            ui.message(MessageKind::Fehler, e.what(), Buttons::Abbrechen);
        else
            ui.message(MessageKind::Fehler, kLoadFailed, Buttons::Abbrechen);
        doc_.toNoCatalog();
        st.DataSaved = true;
        st.ChangeCount = 0;
        if (keptDamaged) reportUnfitting(mvPath);  // those records keep their blank fields
        unfitting_ = 0;
    }
}

void MvReader::Import() {
    auto& st = doc_.state();
    auto& ui = doc_.ui();
    if (!st.CatalogOpen || st.TreeBuilding) return;
    doc_.askToSaveIfUnsaved();

    document::FileDialogRequest req;
    req.title = "MV-Dateien importieren";
    req.filter = "Mavrel Dateien (*.MV)|*.MV";
    req.defaultExt = "MV";
    req.initialName = "*.MV";
    const auto chosen = doc_.askForFile(req);
    if (chosen.path.empty()) return;
    const std::string& path = chosen.path;
    const std::string ext = path.size() >= 3 ? path.substr(path.size() - 3) : std::string();
    if (ext != ".mv" && ext != ".MV") return;
    if (path == doc_.lastOpenDialogPath()) {
        ui.message(MessageKind::Warnung,
                   "Achtung: Sie versuchen eine bereits geöffnete Datei zu importieren! Das ist "
                   "nicht möglich, der Vorgang wird abgebrochen!",
                   Buttons::Ok);
        return;
    }
    importFile(path);
}

void MvReader::importFile(const std::string& path) {
    auto& st = doc_.state();
    auto& ui = doc_.ui();
    std::string bytes;
    try {
        bytes = readWholeFile(path);
    } catch (const std::exception& e) {
        ui.showApplicationError(e.what());
        return;
    }
    if (bytes.empty()) {
        ui.message(MessageKind::Hinweis,
                   "Die von Ihnen gewählte Datei ist leer! Ein Import hat daher keinen Sinn!",
                   Buttons::Ok);
        return;
    }
    if (bytes.size() < mv::kHeaderSize) {
        ui.showApplicationError("Lesen nach Dateiende (EOF)");
        return;
    }
    const int mark = static_cast<unsigned char>(bytes[mv::kMarkOffset]);
    if (mark != mv::kFullLayout && mark != mv::kShortLayout) {
        ui.showOldVersionNotice();
        return;
    }
    ui.showAnimation(Animation::Busy, true);
    st.AutoSaveHold = true;
    try {
        ui.showProgress(true);
        readRecords(bytes);
        ui.showProgress(false);
        st.DataSaved = false;
        ui.setStatusText(1, "geändert");
        st.AutoSaveHold = false;
        ui.showAnimation(Animation::Busy, false);
    } catch (const std::exception&) {
        ui.message(MessageKind::Fehler, kLoadFailed, Buttons::Abbrechen);
        ui.showProgress(false);
        ui.showAnimation(Animation::Busy, false);
        st.AutoSaveHold = false;
    }
    doc_.updateRecordLabel();
    reportUnfitting(path);
}

}  // namespace mv32::exchange
