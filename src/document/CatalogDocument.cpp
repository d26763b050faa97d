#include "document/CatalogDocument.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <utility>

#include "document/Catalog.h"
#include "document/OwnFiles.h"
#include "engine/BatchMove.h"
#include "engine/EngineError.h"
#include "engine/SystemPaths.h"
#include "engine/Text.h"
#include "platform/Paths.h"

namespace fs = std::filesystem;

namespace mv32::document {

namespace {

bool fileExists(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(engine::paths::fsPath(path), ec);
}

// A table's .db file is found without regard to the case of its name, as the engine finds it.
bool tableExists(const std::string& path) {
    if (fileExists(path)) return true;
    engine::Table probe;
    probe.setTableName(path);
    return probe.exists();
}

}  // namespace

std::string upperExtension(const std::string& path) {
    const std::string name = platform::fileNameOf(path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : engine::text::upper(name.substr(dot));
}

CatalogDocument::CatalogDocument(Services services) : s_(std::move(services)), recent_(s_.store) {
    state_.ProgramDir = s_.programDir;
    installNotifications();
    recent_.load();
}

CatalogDocument::~CatalogDocument() {
    try {
        mv32_.close();
        undo_.close();
    } catch (...) {  // closing at exit; nothing left to tell
    }
}

void CatalogDocument::installNotifications() {
    // MV32AfterInsert, MV32AfterEdit, MV32AfterPost, MV32AfterDelete and MV32BeforeDelete.
    mv32_.afterInsert = [this](engine::Table& t) {
        state_.DataSaved = false;
        if (afterInsertHook) afterInsertHook(t);
    };
    mv32_.afterEdit = [this](engine::Table&) { state_.DataSaved = false; };
    mv32_.afterPost = [this](engine::Table&) {
        state_.DataSaved = true;
        s_.ui.setStatusText(1, "gesichert");
    };
    mv32_.beforeDelete = [this](engine::Table& t) {
        if (beforeDeleteHook) beforeDeleteHook(t);
    };
    mv32_.afterDelete = [this](engine::Table&) { state_.DataSaved = false; };
}

// --- Window states -----------------------------------------------------------------------------

void CatalogDocument::AktiviereControls() {
    s_.ui.setControlState(ControlState::CatalogOpen);
    state_.AutoSaveHold = false;
    s_.ui.showAnimation(Animation::Busy, false);
}

void CatalogDocument::DeaktiviereControls() {
    s_.ui.setControlState(ControlState::NoCatalog);
}

void CatalogDocument::setTitleFor(const std::string& path) {
    s_.ui.setTitle(std::string(kProgramTitle) + "  [" + platform::fileNameOf(path) + "]");
}

void CatalogDocument::toNoCatalog() {
    try {
        mv32_.close();
    } catch (const std::exception&) {  // the table is given up either way
    }
    state_.CatalogOpen = false;
    state_.AutoSaveHold = false;
    s_.ui.showAnimation(Animation::Busy, false);
    s_.ui.showProgress(false);
    s_.ui.setTitle(kProgramTitle);
    s_.ui.setStatusText(1, "");
    DeaktiviereControls();
    updateRecordLabel();
}

void CatalogDocument::updateRecordLabel() {
    try {
        if (mv32_.active())
            s_.ui.setRecordLabel(mv32_.recNo(), mv32_.recordCount());
        else
            s_.ui.setRecordLabel(0, 0);
    } catch (const std::exception&) {  // a label is no reason to fail a command
    }
}

// --- Opening -----------------------------------------------------------------------------------

void CatalogDocument::syncIndexes() {
    mv32_.close();
    mv32_.setExclusive(true);
    try {
        mv32_.open();
        if (mv32_.readOnly()) {
            // Indexes of a catalog on a CD stay as they were made.
            mv32_.close();
            mv32_.setExclusive(false);
            return;
        }
        const auto present = mv32_.indexNames();
        for (size_t i = 0; i < kSecondaryIndexes.size(); ++i) {
            const auto& ix = kSecondaryIndexes[i];
            bool exists = std::find(present.begin(), present.end(), ix.name) != present.end();
            if (s_.settings.indexOn[i] && !exists) {
                try {
                    mv32_.addIndex(ix.name, ix.fields);
                } catch (const std::exception& e) {
                    // Without room the catalog opens without the index; it is made later.
                    if (!notStored_.noteIndex(e, ix.name)) throw;
                }
            } else if (!s_.settings.indexOn[i] && exists) {
                try {
                    mv32_.deleteIndex(ix.name);
                } catch (const engine::EngineError&) {  // already gone: nothing to do
                }
            }
        }
        mv32_.close();
    } catch (...) {
        mv32_.close();
        mv32_.setExclusive(false);
        throw;
    }
    mv32_.setExclusive(false);
    mv32_.setIndexName("");
}

void CatalogDocument::MakeIndizes() {
    if (!state_.CatalogOpen) return;
    try {
        const auto at = mv32_.active() ? mv32_.bookmark() : engine::Bookmark{};
        syncIndexes();
        reopen(at);
    } catch (const std::exception& e) {
        s_.ui.showApplicationError(e.what());
    }
}

void CatalogDocument::activate(OpenWay way) {
    const bool writeToLoad = way != OpenWay::OpenMvEmpty && way != OpenWay::OpenLastMvEmpty;
    const bool setSaved = way != OpenWay::Explorer;
    const bool resetCount = way == OpenWay::New || way == OpenWay::LoadAll ||
                            way == OpenWay::OpenMvEmpty || way == OpenWay::OpenLastMvEmpty;
    const bool emptyUndo = way != OpenWay::Explorer;

    // The recent-file list and FileToLoad are conveniences: a settings file that cannot be
    // written is logged (on a full medium: told at the end), and the catalog that just opened
    // stays open.
    try {
        recent_.add(state_.CurrentFile);
    } catch (const std::exception& e) {
        if (!notStored_.note(e, "die Liste der zuletzt geöffneten Dateien"))
            s_.log.WriteLogLine(e.what());
    }
    s_.ui.setRecentFiles(recent_.paths());
    if (writeToLoad) {
        s_.settings.FileToLoad = state_.CurrentFile;
        try {
            writeFileToLoad(s_.store, state_.CurrentFile);
        } catch (const std::exception& e) {
            if (!notStored_.note(e, "der beim nächsten Start zu öffnende Katalog (FileToLoad)"))
                s_.log.WriteLogLine(e.what());
        }
    }
    setTitleFor(state_.CurrentFile);
    if (setSaved) state_.DataSaved = true;
    if (resetCount) {
        state_.ChangeCount = 0;
        s_.ui.setStatusText(1, "");
    }
    if (emptyUndo) {
        try {
            emptyUndoJournal();
        } catch (const std::exception& e) {
            notStored_.note(e, "die geleerte Undo-Tabelle");
        }
    }
    AktiviereControls();
    updateRecordLabel();
    tellWhatWasNotStored();
}

void CatalogDocument::tellWhatWasNotStored() {
    const std::string text = notStored_.take(mv32_.active() ? mv32_.waitingLog() : std::string());
    if (!text.empty()) s_.ui.message(MessageKind::Information, text, Buttons::Ok);
}

void CatalogDocument::openCatalogTable(const std::string& path, bool makeIndexes, OpenWay way) {
    mv32_.close();
    state_.CurrentFile = path;
    mv32_.setDirectory(platform::folderOf(path));
    mv32_.setTableName(path);
    mv32_.setExclusive(false);
    mv32_.setIndexName("");
    repairPrimaryKey(mv32_);
    if (makeIndexes) syncIndexes();
    mv32_.open();
    state_.CurrentFile = mv32_.filePath();  // the name on disk ("KATALOG.DB" copied from Windows)
    state_.CatalogOpen = true;
    state_.AutoSaveHold = true;
    activate(way);
    tellWhatOpeningFound();
}

void CatalogDocument::tellWhatOpeningFound() {
    // What the engine mended on its own (a log of other files set aside, an index rebuilt)
    // and a catalog that can only be read are worth a word; neither stops the work.
    for (const auto& notice : mv32_.takeNotices())
        s_.ui.message(MessageKind::Information, notice, Buttons::Ok);
    if (mv32_.readOnly()) {
        s_.ui.message(MessageKind::Information,
                      "Der Katalog »" + platform::fileNameOf(mv32_.filePath()) +
                          "« liegt auf einem Datenträger oder in Dateien, die nicht beschrieben "
                          "werden können. Er ist nur zum Lesen geöffnet; Änderungen sind nicht "
                          "möglich.",
                      Buttons::Ok);
    }
}

FileDialogResult CatalogDocument::askForFile(FileDialogRequest request) {
    if (request.folder.empty() && platform::folderOf(request.initialName).empty())
        request.folder = dialogFolder();
    FileDialogResult chosen = s_.ui.fileDialog(request);
    if (!chosen.path.empty()) lastDialogFolder_ = platform::folderOf(chosen.path);
    return chosen;
}

std::string CatalogDocument::dialogFolder() const {
    std::error_code ec;
    auto usable = [&ec](const std::string& folder) {
        return !folder.empty() && fs::is_directory(engine::paths::fsPath(folder), ec);
    };
    if (usable(lastDialogFolder_)) return lastDialogFolder_;
    for (const std::string& last :
         {s_.settings.FileToLoad,
          recent_.paths().empty() ? std::string() : recent_.paths().front()}) {
        if (usable(platform::folderOf(last))) return platform::folderOf(last);
    }
    const char* home = std::getenv("HOME");
#ifdef _WIN32
    if (!home) home = std::getenv("USERPROFILE");
#endif
    if (home && usable(home)) return platform::withTrailingSeparator(home);
    return {};
}

bool CatalogDocument::refusedAsCatalog(const std::string& path) {
    const auto refusal =
        document::refusedAsCatalog(path, s_.settings.DatenbankPfad, state_.ProgramDir);
    if (refusal) s_.ui.message(MessageKind::Fehler, *refusal, Buttons::Abbrechen);
    return refusal.has_value();
}

void CatalogDocument::Neu() {
    if (state_.TreeBuilding) return;
    FileDialogRequest req;
    req.save = true;
    req.title = "Datei neu anlegen";
    req.filter = "Mavrel Dateien (*.DB)|*.DB";
    const auto chosen = askForFile(req);
    if (chosen.path.empty()) return;
    if (refusedAsCatalog(upperExtension(chosen.path) == ".DB" ? chosen.path : chosen.path + ".db"))
        return;

    state_.AutoSaveHold = true;
    bool oldClosed = false;
    try {
        std::string path = chosen.path;
        if (upperExtension(path) != ".DB") path += ".db";
        if (tableExists(path)) {
            if (s_.ui.message(MessageKind::Bestaetigen, kOverwriteQuestion, Buttons::JaNein) !=
                Answer::Ja) {
                state_.AutoSaveHold = false;
                return;
            }
            mv32_.close();
            oldClosed = true;
            engine::Table old;
            old.setTableName(path);
            try {
                old.deleteTable();
            } catch (const engine::EngineError&) {
                // Not a table of ours: the file itself goes.
                fs::remove(engine::paths::fsPath(path));
            }
        }
        mv32_.close();
        oldClosed = true;
        state_.CurrentFile = path;
        state_.CatalogOpen = true;
        mv32_.setDirectory(platform::folderOf(path));
        mv32_.setTableName(path);
        createCatalogTable(mv32_);
        state_.CurrentFile = mv32_.filePath();
        mv32_.open();
        activate(OpenWay::New);
    } catch (const std::exception&) {
        s_.ui.message(MessageKind::Fehler, "Fehler beim Erstellen der Datei!", Buttons::Abbrechen);
        state_.AutoSaveHold = false;
        if (oldClosed) toNoCatalog();
    }
}

void CatalogDocument::Oeffnen() {
    if (state_.TreeBuilding) return;
    FileDialogRequest req;
    req.title = "Datei öffnen";
    req.filter =
        "Mavrel32 DB-Dateien (*.DB)|*.DB|Mavrel MV-Dateien (*.MV)|*.MV|"
        "Alle *.DB in eine Datei laden|*.DB";
    req.defaultExt = "DB";
    const auto chosen = askForFile(req);
    if (chosen.path.empty()) return;
    lastOpenDialogPath_ = chosen.path;
    const std::string ext = upperExtension(chosen.path);
    if (chosen.filterIndex != 3 && ext != ".MV" && ext != ".DB") return;  // nothing we read
    // A legacy file becomes the catalog beside it with the extension "db".
    if (refusedAsCatalog(chosen.filterIndex != 3 && ext == ".MV"
                             ? chosen.path.substr(0, chosen.path.size() - 2) + "db"
                             : chosen.path))
        return;

    try {
        mv32_.close();
        if (chosen.filterIndex == 3) {
            loadAllIntoOne(chosen.path);
        } else if (ext == ".MV") {
            openLegacyFile(chosen.path, true);
        } else {
            s_.ui.showAnimation(Animation::Busy, true);
            openCatalogTable(chosen.path, true, OpenWay::OpenDb);
        }
    } catch (const std::exception& e) {
        toNoCatalog();
        s_.ui.showApplicationError(e.what());
    }
}

void CatalogDocument::openLegacyFile(const std::string& path, bool fromOpenDialog) {
    state_.CurrentFile = path;
    state_.CatalogOpen = false;
    std::error_code ec;
    const auto size = fs::file_size(engine::paths::fsPath(path), ec);
    if (ec || !fs::is_regular_file(engine::paths::fsPath(path), ec)) {
        toNoCatalog();  // unreadable: back to no catalog without a message
        return;
    }
    const std::string dbPath = path.substr(0, path.size() - 2) + "db";
    if (size == 0) {
        openCatalogTable(dbPath, false,
                         fromOpenDialog ? OpenWay::OpenMvEmpty : OpenWay::OpenLastMvEmpty);
        return;
    }
    state_.CurrentFile = dbPath;
    std::FILE* f = engine::paths::openFile(path, "rb");
    int version = -1;
    if (f && std::fseek(f, 22, SEEK_SET) == 0) version = std::fgetc(f);
    if (f) std::fclose(f);
    if (!f) {
        toNoCatalog();
        return;
    }
    if (version == EOF) {
        toNoCatalog();
        s_.ui.showApplicationError("Lesen nach Dateiende (EOF)");
        return;
    }
    setTitleFor(state_.CurrentFile);
    if ((version == 13 || version == 14) && legacyOpener) {
        legacyOpener(path, version);
        return;
    }
    s_.ui.showOldVersionNotice();
    DeaktiviereControls();
    state_.DataSaved = true;
    emptyUndoTable();
    s_.ui.setTitle(kProgramTitle);
    updateRecordLabel();
}

void CatalogDocument::loadAllIntoOne(const std::string& target) {
    state_.AutoSaveHold = true;
    const std::string folder = platform::folderOf(target);
    const std::string targetName = engine::text::upper(platform::fileNameOf(target));
    state_.CurrentFile = target;

    mv32_.setDirectory(folder);
    mv32_.setTableName(target);
    // A target that already holds records is emptied only when the person agrees.
    if (tableExists(target)) {
        int64_t held = 0;
        try {
            mv32_.open();
            held = mv32_.recordCount();
            mv32_.close();
        } catch (const std::exception&) {
            mv32_.close();
        }
        if (held > 0 && s_.ui.message(MessageKind::Bestaetigen, kOverwriteQuestion,
                                      Buttons::JaNein) != Answer::Ja) {
            toNoCatalog();
            return;
        }
    }
    state_.CatalogOpen = true;
    createCatalogTable(mv32_);
    mv32_.open();
    s_.ui.showAnimation(Animation::Busy, true);

    std::vector<std::string> sources;
    std::error_code ec;
    for (const auto& entry :
         fs::directory_iterator(engine::paths::fsPath(folder.empty() ? "." : folder), ec)) {
        const std::string name = engine::paths::utf8Of(entry.path().filename());
        if (!entry.is_regular_file(ec) || name.empty() || name[0] == '.') continue;  // hidden
        if (upperExtension(name) != ".DB" || engine::text::upper(name) == targetName) continue;
        sources.push_back(engine::paths::utf8Of(entry.path()));
    }
    std::sort(sources.begin(), sources.end());

    for (const auto& source : sources) {
        engine::Table MV32Import;
        try {
            MV32Import.setDirectory(folder);
            MV32Import.setTableName(source);
            MV32Import.open();
            bool sameLayout = MV32Import.fieldCount() == static_cast<int>(catalogFields().size());
            for (const auto& f : catalogFields())
                sameLayout = sameLayout && MV32Import.fieldIndex(f.name) >= 0;
            if (sameLayout) engine::batchMove(MV32Import, mv32_, engine::BatchMode::AppendUpdate);
        } catch (const std::exception&) {
            // A file of another layout, locked or damaged is skipped without a message.
        }
        try {
            MV32Import.close();
        } catch (const std::exception&) {
        }
        s_.ui.processEvents();
    }
    mv32_.first();
    s_.ui.showAnimation(Animation::Busy, false);
    activate(OpenWay::LoadAll);
    state_.AutoSaveHold = false;
}

void CatalogDocument::openLastFile(const std::string& path) {
    const std::string ext = upperExtension(path);
    if ((ext == ".MV" || ext == ".DB") &&
        refusedAsCatalog(ext == ".MV" ? path.substr(0, path.size() - 2) + "db" : path))
        return;
    try {
        if (ext == ".MV") {
            mv32_.close();
            openLegacyFile(path, false);
        } else if (ext == ".DB" && tableExists(path)) {
            mv32_.close();
            openCatalogTable(path, true, OpenWay::OpenLastDb);
        }
    } catch (const std::exception& e) {
        toNoCatalog();
        s_.ui.showApplicationError(e.what());
    }
}

void CatalogDocument::openExplorerCatalog() {
    try {
        const std::string path = state_.ProgramDir + "drivescan.db";
        mv32_.close();
        mv32_.setDirectory(state_.ProgramDir);
        mv32_.setTableName(path);
        if (!fileExists(path)) createCatalogTable(mv32_);
        openCatalogTable(path, true, OpenWay::Explorer);
    } catch (const std::exception&) {
        s_.log.WriteLogLine("Fehler bei Tabellenoperationen: Erzeugen fuer Explorer");
    }
}

// --- Saving and closing ------------------------------------------------------------------------

void CatalogDocument::postPendingQuietly() {
    try {
        if (mv32_.active() && (mv32_.state() == engine::DataSetState::Edit ||
                               mv32_.state() == engine::DataSetState::Insert))
            mv32_.post();
    } catch (const engine::EngineError& e) {
        // A record another program changed meanwhile: the edit stays with what was typed,
        // and whoever saves hears of it.
        if (e.kind() == engine::ErrorKind::Changed) throw;
        try {
            mv32_.cancel();
        } catch (const std::exception&) {
        }
    } catch (const std::exception&) {
        try {
            mv32_.cancel();
        } catch (const std::exception&) {
        }
    }
}

std::string CatalogDocument::backupFolder() const {
    return state_.ProgramDir + "Backup" + platform::separator();
}

void CatalogDocument::copyBackup() {
    const std::string folder = backupFolder();
    platform::createFolders(folder);
    s_.ui.showProgress(true);
    mv32_.copyTo(
        folder + platform::fileNameOf(mv32_.filePath()),
        [this](int64_t total) { s_.ui.setProgressRange(0, total); },
        [this](int64_t done) { s_.ui.setProgressPosition(done); });
    s_.ui.showProgress(false);
}

void CatalogDocument::reopen(const engine::Bookmark& at) {
    mv32_.open();
    if (at.valid()) {
        try {
            mv32_.gotoBookmark(at);
        } catch (const std::exception&) {  // the record is gone: stay at the first
        }
    }
    updateRecordLabel();
}

void CatalogDocument::Speichern() {
    if (!state_.CatalogOpen || state_.TreeBuilding) return;
    postPendingQuietly();
    state_.DataSaved = true;
    s_.ui.setStatusText(1, "gesichert");
    if (!s_.settings.Backup) return;
    engine::Bookmark at;
    try {
        at = mv32_.bookmark();
        mv32_.close();
        copyBackup();
        reopen(at);
    } catch (const std::exception& e) {
        // The copy failed; the catalog itself is intact and stays open.
        s_.ui.showProgress(false);
        try {
            reopen(at);
        } catch (const std::exception&) {
        }
        s_.ui.showApplicationError(e.what());
    }
}

void CatalogDocument::SpeichernUnter() {
    if (!state_.CatalogOpen || state_.TreeBuilding) return;
    FileDialogRequest req;
    req.save = true;
    req.title = "Speichern unter";
    req.filter = "Mavrel DB-Dateien (*.DB)|*.DB";
    req.defaultExt = "DB";
    req.mustExist = true;
    const auto chosen = askForFile(req);
    if (chosen.path.empty()) return;
    std::string target = chosen.path;
    if (upperExtension(target) != ".DB") target += ".db";
    if (refusedAsCatalog(target)) return;
    {
        // Spelled as the engine will find it, so that the copy is one table with its files.
        engine::Table probe;
        probe.setTableName(target);
        target = probe.filePath();
    }
    if (tableExists(target) &&
        s_.ui.message(MessageKind::Bestaetigen, kOverwriteQuestion, Buttons::JaNein) != Answer::Ja)
        return;

    postPendingQuietly();
    state_.DataSaved = true;
    s_.ui.setStatusText(1, "gesichert");
    engine::Bookmark at;
    try {
        at = mv32_.bookmark();
        s_.ui.showProgress(true);
        mv32_.close();
        mv32_.copyTo(
            target, [this](int64_t total) { s_.ui.setProgressRange(0, total); },
            [this](int64_t done) { s_.ui.setProgressPosition(done); });
        reopen(at);
        s_.ui.showProgress(false);
        if (s_.settings.Backup) {
            at = mv32_.bookmark();
            mv32_.close();
            copyBackup();
            reopen(at);
        }
    } catch (const std::exception& e) {
        s_.ui.showProgress(false);
        try {
            if (!mv32_.active()) reopen(at);
        } catch (const std::exception&) {
        }
        s_.ui.showApplicationError(e.what());
    }
}

void CatalogDocument::Schliessen() {
    if (!state_.CatalogOpen || state_.TreeBuilding) return;
    try {
        mv32_.close();
    } catch (const std::exception& e) {
        s_.ui.showApplicationError(e.what());
    }
    s_.ui.setStatusText(1, "");
    s_.ui.setTitle(kProgramTitle);
    state_.DataSaved = true;
    state_.CatalogOpen = false;
    state_.ChangeCount = 0;
    emptyUndoTable();
    DeaktiviereControls();
    updateRecordLabel();
}

void CatalogDocument::Loeschen() {
    if (!state_.CatalogOpen || state_.TreeBuilding) return;
    if (s_.ui.message(MessageKind::Warnung, "Soll die geöffnete Datei gelöscht werden?",
                      Buttons::JaNein) != Answer::Ja)
        return;
    try {
        mv32_.close();
        mv32_.deleteTable();
        state_.AutoSaveHold = false;
        s_.ui.setStatusText(1, "");
        s_.ui.setTitle(kProgramTitle);
        state_.DataSaved = true;
        state_.CatalogOpen = false;
        state_.ChangeCount = 0;
        DeaktiviereControls();
        updateRecordLabel();
    } catch (const std::exception&) {
        s_.ui.message(MessageKind::Fehler, "Fehler beim Löschen der Datei!", Buttons::Abbrechen);
    }
}

void CatalogDocument::askToSaveIfUnsaved() {
    if (state_.DataSaved) return;
    if (s_.ui.askSaveData()) Speichern();
}

// --- Undo table --------------------------------------------------------------------------------

void CatalogDocument::createUndoTable() {
    undo_.close();
    undo_.setDirectory(state_.ProgramDir);
    undo_.setTableName(kUndoTableName);
    createCatalogTable(undo_);  // afresh, with the primary index on Name
    undo_.open();
}

void CatalogDocument::emptyUndoTable() {
    try {
        emptyUndoJournal();
    } catch (const std::exception&) {  // the first failure ends the step without a message
    }
}

void CatalogDocument::emptyUndoJournal() {
    // close, empty, open
    if (undo_.tableName().empty()) return;
    // A journal that holds nothing stays as it is: emptying it again would only rewrite and
    // sync its files (every catalog opened at the start of a run would pay for it).
    if (undo_.active() && undo_.recordCount() == 0) return;
    undo_.close();
    undo_.emptyTable();
    undo_.open();
}

}  // namespace mv32::document
