#include "document/SettingsDialogModel.h"

#include <algorithm>

#include <exception>
#include <filesystem>

#include "document/Catalog.h"
#include "document/CatalogDocument.h"
#include "document/FileListTable.h"
#include "engine/Table.h"
#include "platform/Paths.h"

namespace mv32::document {

namespace {

// A number field's text as a number within its range; empty or unreadable text gives the
// fallback, as a stored value would.
int fieldNumber(const std::string& text, int lo, int hi, int fallback) {
    auto n = parseStoredInteger(text);
    if (!n) return fallback;
    if (*n < lo) return lo;
    if (*n > hi) return hi;
    return static_cast<int>(*n);
}

}  // namespace

void SettingsDialogModel::open() {
    Settings& held = doc_.settings();
    try {
        held = rereadSettings(doc_.store(), held);
    } catch (const std::exception&) {
        // An unreadable store leaves the values held in memory.
    }
    values_ = held;
    autoSaveValueText = std::to_string(values_.AutoSaveValue);
    autoSaveValueZeitText = std::to_string(values_.AutoSaveValueZeit);
}

void SettingsDialogModel::setAutoSave(bool on) {
    values_.AutoSave = on;
}

void SettingsDialogModel::setASAender(bool on) {
    values_.ASAender = on;
    if (on) values_.ASZeit = false;
}

void SettingsDialogModel::setASZeit(bool on) {
    values_.ASZeit = on;
    if (on) values_.ASAender = false;
}

void SettingsDialogModel::setScanBackground(bool on) {
    values_.ScanBackground = on;
    if (on) {
        values_.ReadFilesBBS = false;
        values_.ReadFileIDDIZ = false;
    }
}

void SettingsDialogModel::setReadFilesBBS(bool on) {
    values_.ReadFilesBBS = on;
    if (on) values_.ScanBackground = false;
}

void SettingsDialogModel::setReadFileIDDIZ(bool on) {
    values_.ReadFileIDDIZ = on;
    if (on) values_.ScanBackground = false;
}

void SettingsDialogModel::setSekIndexActive(bool on) {
    const bool was = values_.SekIndexActive;
    values_.SekIndexActive = on;
    if (was && !on &&
        doc_.ui().message(MessageKind::Warnung, "Sollen vorhandene Indizes gelöscht werden?",
                          Buttons::JaNein) == Answer::Ja)
        deleteFileListIndexes();
}

void SettingsDialogModel::deleteFileListIndexes() {
    // Any failure here is ignored: the indexes are rebuilt or dropped at the next scan.
    try {
        engine::Table list;
        list.setDirectory(values_.DatenbankPfad);
        list.setTableName(filelist::kTableName);
        if (!list.exists()) return;
        list.setExclusive(true);
        list.open();
        for (const auto& ix : filelist::kIndexes) {
            try {
                list.deleteIndex(ix.name);
            } catch (const std::exception&) {
            }
        }
        list.close();
    } catch (const std::exception&) {
    }
}

void SettingsDialogModel::restoreDefaults() {
    const Settings reset = Settings::resetValues(values_);
    // Through the rules, as if each box were clicked: unchecking "Sekundärindizes erzeugen"
    // asks its question at once.
    setSekIndexActive(reset.SekIndexActive);
    Settings keep = values_;
    values_ = reset;
    values_.SekIndexActive = keep.SekIndexActive;
    autoSaveValueText = std::to_string(reset.AutoSaveValue);
    autoSaveValueZeitText = std::to_string(reset.AutoSaveValueZeit);
}

void SettingsDialogModel::ok() {
    // The folder of the file list, never empty, with its separator.
    if (values_.DatenbankPfad.empty()) values_.DatenbankPfad = doc_.state().ProgramDir;
    values_.DatenbankPfad = platform::withTrailingSeparator(values_.DatenbankPfad);

    // The controls become the settings record; the timer follows at once.
    values_.AutoSaveValue = fieldNumber(autoSaveValueText, 1, kMaxAutoSaveChanges, 50);
    values_.AutoSaveValueZeit = fieldNumber(autoSaveValueZeitText, 1, kMaxAutoSaveMinutes, 10);
    Settings& s = doc_.settings();
    values_.FileToLoad = s.FileToLoad;
    s = values_;
    doc_.log().setEnabled(s.CreateLogFile);
    doc_.ui().setAutoSaveInterval(s.autoSaveIntervalMs());

    // The folder must exist.
    if (!platform::createFolders(s.DatenbankPfad))
        doc_.log().WriteLogLine("Datenbankpfad konnte nicht angelegt werden: Einstell");

    // The sort items follow the index settings.
    for (size_t i = 0; i < kSecondaryIndexes.size(); ++i)
        doc_.ui().setSortItemVisible(kSecondaryIndexes[i].name, s.indexOn[i]);

    // Into the store.
    try {
        writeSettings(doc_.store(), s);
    } catch (const std::exception& e) {
        doc_.ui().showApplicationError(e.what());
    }

    // The open catalog's indexes follow.
    doc_.MakeIndizes();

    // The file search items follow the file list table.
    doc_.ui().setFileSearchVisible(filelist::existsIn(s.DatenbankPfad));
}

template <typename F>
void SettingsDialogModel::maintain(F&& step) {
    engine::Table& t = doc_.MV32();
    if (!t.active()) return;
    UserInterface& ui = doc_.ui();
    ui.showAnimation(Animation::Busy, true);
    try {
        step(t);
    } catch (const std::exception& e) {
        try {
            t.setExclusive(false);
        } catch (const std::exception&) {
        }
        ui.showAnimation(Animation::Busy, false);
        ui.message(MessageKind::Fehler, e.what(), Buttons::Abbrechen);
        try {
            if (!t.active()) t.open();
        } catch (const std::exception&) {
        }
        doc_.updateRecordLabel();
        return;
    }
    ui.showAnimation(Animation::Busy, false);
    doc_.updateRecordLabel();
}

void SettingsDialogModel::Packen() {
    maintain([](engine::Table& t) {
        t.close();
        t.packTable();
        t.open();
    });
}

void SettingsDialogModel::Leeren() {
    if (!doc_.MV32().active()) return;
    if (doc_.ui().message(MessageKind::Warnung,
                          "WARNUNG: Alle Daten der Hauptdatenbank werden gelöscht! Fortfahren?",
                          Buttons::JaAbbrechen) != Answer::Ja)
        return;
    maintain([](engine::Table& t) {
        t.close();
        t.emptyTable();
        t.open();
    });
}

void SettingsDialogModel::Reindizieren() {
    maintain([](engine::Table& t) {
        const bool wasExclusive = t.exclusive();
        t.close();
        t.setExclusive(true);
        t.open();
        t.regenerateIndexes();
        t.close();
        t.setExclusive(wasExclusive);
        t.open();
    });
}

}  // namespace mv32::document

namespace mv32::document {

namespace {

// Whether the (closed) file list has its name index, as the table itself says.
bool hasNameIndex(engine::Table& list) {
    if (!list.exists()) return false;
    list.open();
    const auto names = list.indexNames();
    list.close();
    return std::find(names.begin(), names.end(), filelist::kIndexes[0].name) != names.end();
}

}  // namespace

template <typename F>
void SettingsDialogModel::maintainFileList(const char* failure, F&& step) {
    UserInterface& ui = doc_.ui();
    ui.showAnimation(Animation::Busy, true);
    try {
        engine::Table list;
        list.setDirectory(doc_.settings().DatenbankPfad);
        list.setTableName(filelist::kTableName);
        list.setIndexName(
            doc_.settings().SekIndexActive && hasNameIndex(list) ? filelist::kIndexes[0].name : "");
        step(list);
        list.close();
    } catch (const std::exception&) {
        ui.showAnimation(Animation::Busy, false);
        ui.message(MessageKind::Fehler, failure, Buttons::Abbrechen);
        return;
    }
    // Each step rewrites the list: the file search's index follows it. Its failure is no
    // failure of the step, which is done; the search reads every record until the next scan.
    std::string why;
    try {
        engine::Table list;
        list.setDirectory(doc_.settings().DatenbankPfad);
        list.setTableName(filelist::kTableName);
        list.setExclusive(true);
        list.open();
        why = filelist::buildSearchIndex(list);
        list.close();
    } catch (const std::exception& e) {
        why = filelist::searchIndexFailure(e.what());
    }
    if (!why.empty()) doc_.log().WriteLogLine(why);
    ui.showAnimation(Animation::Busy, false);
}

void SettingsDialogModel::FileListPacken() {
    maintainFileList("Fehler beim Packen der Tabelle!", [](engine::Table& t) { t.packTable(); });
}

void SettingsDialogModel::FileListLeeren() {
    if (doc_.ui().message(MessageKind::Warnung,
                          "WARNUNG: Alle Daten der Dateidatenbank werden gelöscht! Fortfahren?",
                          Buttons::JaAbbrechen) != Answer::Ja)
        return;
    maintainFileList("Fehler beim Leeren der Tabelle!", [this](engine::Table& t) {
        t.emptyTable();
        t.open();
        std::error_code ec;  // the list of scanned media goes with the files; a failure is ignored
        std::filesystem::remove(doc_.state().ProgramDir + filelist::kScannedMediaName, ec);
    });
}

void SettingsDialogModel::FileListReindizieren() {
    maintainFileList("Fehler beim Reindizieren der Tabelle!", [](engine::Table& t) {
        t.setExclusive(true);
        t.open();
        t.regenerateIndexes();
        t.close();
        t.setExclusive(false);
    });
}

}  // namespace mv32::document
