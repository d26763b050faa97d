#include "app/ProgramShell.h"

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#endif

#include "document/Catalog.h"
#include "document/FileListTable.h"
#include "document/Log.h"
#include "engine/Table.h"
#include "engine/Text.h"
#include "platform/Paths.h"
#include "platform/ShellEntries.h"
#include "platform/Volumes.h"
#include "scan/ScanDriver.h"

namespace fs = std::filesystem;

namespace mv32::app {

using document::Answer;
using document::Buttons;
using document::MessageKind;

ProgramShell::ProgramShell(document::CatalogDocument& doc, std::vector<std::string> args,
                           std::string programFile)
    : doc_(doc), args_(std::move(args)), programFile_(std::move(programFile)) {
    writeShellEntries = [](const std::string& program) {
        // The desktop reads its databases again only when an entry changed.
        if (platform::writeShellEntries(program)) platform::refreshDesktopDatabases();
    };
}

std::string ProgramShell::upperArg(size_t i) const {
    return i < args_.size() ? engine::text::upper(args_[i]) : std::string();
}

bool runsUnattended(const std::vector<std::string>& args) {
    auto upper = [&](size_t i) {
        return i < args.size() ? engine::text::upper(args[i]) : std::string();
    };
    return upper(0) == "SCANALL" || upper(2) == "CLOSE";
}

void writeLogLineWithoutProgram(document::SettingsStore& store, const std::string& programDir,
                                const std::string& line) {
    try {
        document::Log log(programDir, platform::Clock::system());
        log.setEnabled(document::readSettings(store, programDir).CreateLogFile);
        log.WriteLogLine(line);
    } catch (const std::exception&) {
    }
}

bool ProgramShell::closesWithoutAsking() const {
    return runsUnattended(args_);
}

void ProgramShell::FormCreate() {
    doc_.ui().setStatusText(1, "Bereit");
    makeUndoTable();
    makeWorkFolder();
    applySettings();
    // The file search items follow the file list table.
    doc_.ui().setFileSearchVisible(document::filelist::existsIn(doc_.settings().DatenbankPfad));
    startWithoutCatalog();
    if (doc_.settings().ReadLastfile && !doc_.settings().FileToLoad.empty())
        doc_.openLastFile(doc_.settings().FileToLoad);
}

void ProgramShell::makeUndoTable() {
    try {
        doc_.createUndoTable();
    } catch (const std::exception&) {
        doc_.ui().message(
            MessageKind::Fehler,
            "Fehler beim Erzeugen der Undo Tabelle! Die BDE ist nicht korrekt initialisiert!",
            Buttons::Abbrechen);
        doc_.log().WriteLogLine(
            "Fehler beim Erzeugen der Undo Tabelle! Die BDE ist nicht korrekt initialisiert: "
            "FormCreate");
    }
}

void ProgramShell::makeWorkFolder() {
    // The archivers work in a folder private to this run.
#ifdef _WIN32
    // A name made of the process and a counter; create_directory fails on one that exists.
    std::error_code ec;
    for (int n = 0; n < 100; ++n) {
        const std::string folder = platform::tempDir() + "mavrel32-" + std::to_string(::_getpid()) +
                                   "-" + std::to_string(n);
        if (std::filesystem::create_directory(folder, ec)) {
            tempFolder_ = platform::withTrailingSeparator(folder);
            return;
        }
    }
    doc_.log().WriteLogLine("Temp-Dir konnte nicht angelegt werden: FormCreate");
#else
    std::string pattern = platform::tempDir() + "mavrel32-XXXXXX";
    if (char* made = ::mkdtemp(pattern.data()))
        tempFolder_ = platform::withTrailingSeparator(made);
    else
        doc_.log().WriteLogLine("Temp-Dir konnte nicht angelegt werden: FormCreate");
#endif
}

void ProgramShell::applySettings() {
    // The settings, and what follows them at once: the log, the auto-save timer, the sort
    // items; then the shell entries.
    auto& ui = doc_.ui();
    try {
        doc_.settings() = document::readSettings(doc_.store(), doc_.state().ProgramDir);
        doc_.log().setEnabled(doc_.settings().CreateLogFile);
        ui.setAutoSaveInterval(doc_.settings().autoSaveIntervalMs());
        for (size_t i = 0; i < document::kSecondaryIndexes.size(); ++i)
            ui.setSortItemVisible(document::kSecondaryIndexes[i].name, doc_.settings().indexOn[i]);
        writeShellEntries(programFile_);
    } catch (const std::exception&) {
        doc_.log().WriteLogLine("Fehler beim Schreiben/Lesen der Registry: FormCreate");
    }
}

void ProgramShell::startWithoutCatalog() {
    auto& st = doc_.state();
    doc_.DeaktiviereControls();
    st.AutoSaveHold = false;
    st.ChangeCount = 0;
    st.CatalogOpen = false;
    st.DataSaved = true;
    doc_.ui().setStatusText(1, "Bereit");
}

ProgramShell::AfterCommandLine ProgramShell::handleCommandLine() {
    if (args_.empty()) return AfterCommandLine::Nothing;
    const std::string first = upperArg(0);
    std::error_code ec;
    if (first == "SCANALL") {
        // A file list that could not be written ends the run with a failure status.
        if (scanDriver && !scanDriver->prompt()) return AfterCommandLine::CloseFailed;
        return AfterCommandLine::Close;
    }
    if (first == "DRIVE" || first == "DIR") {
        // A run that ends by itself (CLOSE) reports what went wrong by its exit status, since
        // nobody may be watching; without CLOSE the window stays as before.
        const bool close = upperArg(2) == "CLOSE";
        const auto failed = close ? AfterCommandLine::CloseFailed : AfterCommandLine::Nothing;
        const std::string what = first == "DIR" ? "Verzeichnis " : "Laufwerk ";
        if (!scanDriver) return failed;
        std::string path = args_.size() < 2 ? std::string() : args_[1];
        if (path.empty()) {
            doc_.log().WriteLogLine("Kein Zugriff auf " + what + path + " möglich!");
            return failed;
        }
        // A native path, or the letter form "D:\"; its drive must hold a medium.
        auto drive = scanDriver->driveOf(path);
        if (!drive) {
            doc_.log().WriteLogLine(path.size() >= 2 && path[1] == ':'
                                        ? std::string("Not a valid drive ID: ") + path
                                        : "Kein Zugriff auf " + what + path + " möglich!");
            return failed;
        }
        if (!platform::Volumes::ready(*drive)) {
            doc_.log().WriteLogLine("Kein Datenträger in Laufwerk " + path + "!");
            return failed;
        }
        if (first == "DIR" && !(path.size() >= 2 && path[1] == ':'))
            path = fs::absolute(path, ec).lexically_normal().string();  // the long form
        doc_.openExplorerCatalog();
        const bool scanned = scanDriver->PromptThisDrive(path, first == "DIR");
        if (close) {
            doc_.Speichern();
            return scanned ? AfterCommandLine::Close : AfterCommandLine::CloseFailed;
        }
        return AfterCommandLine::ShowNormal;
    }
    // A run that closes by itself only scans; anything else it would open waits for a person
    // who is not there.
    if (closesWithoutAsking()) {
        std::string line;
        for (const auto& a : args_) line += (line.empty() ? "" : " ") + a;
        doc_.log().WriteLogLine("Die Befehlszeile »" + line +
                                "« wird nicht ausgeführt: mit CLOSE sind nur DRIVE und DIR "
                                "möglich.");
        return AfterCommandLine::CloseFailed;
    }
    const std::string ext = document::upperExtension(args_[0]);
    if (ext != ".DB" && ext != ".MV") return AfterCommandLine::Nothing;
    // A catalog is found whatever the case of its extension ("KATALOG.DB" from Windows).
    engine::Table probe;
    probe.setTableName(args_[0]);
    if (ext == ".DB" ? !probe.exists() : !fs::is_regular_file(args_[0], ec))
        return AfterCommandLine::Nothing;
    doc_.openLastFile(fs::absolute(args_[0], ec).lexically_normal().string());
    return AfterCommandLine::Nothing;
}

bool ProgramShell::FormCloseQuery() {
    if (closesWithoutAsking()) return true;
    auto& ui = doc_.ui();
    if (backgroundScanRunning && backgroundScanRunning()) {
        ui.message(MessageKind::Warnung, "Der Scanthread ist noch aktiv!", Buttons::Abbrechen);
        return false;
    }
    if (ui.message(MessageKind::Bestaetigen, "Wollen Sie das Programm wirklich schon beenden?",
                   Buttons::JaNein) != Answer::Ja)
        return false;
    doc_.askToSaveIfUnsaved();
    return true;
}

void ProgramShell::FormDestroy() {
    try {
        doc_.MV32().close();
        auto& undo = doc_.undoTable();
        undo.close();
        if (!undo.tableName().empty() && undo.exists()) undo.deleteTable();
    } catch (const std::exception&) {  // the run ends either way
    }
    if (!tempFolder_.empty()) {
        std::error_code ec;
        fs::remove_all(tempFolder_, ec);
    }
}

}  // namespace mv32::app
