#include "scan/ScanDriver.h"

#include <exception>
#include <filesystem>
#include <optional>

#include "document/AutoSave.h"
#include "document/CatalogDocument.h"
#include "document/FileListTable.h"
#include "engine/Text.h"
#include "scan/Descriptions.h"
#include "scan/FileList.h"
#include "scan/ScannedMedia.h"
#include "scan/TreeWalk.h"

namespace fs = std::filesystem;

namespace mv32::scan {

using document::Answer;
using document::Buttons;
using document::MessageKind;

namespace {

constexpr const char* kNoMedium = "Es befindet sich kein Datenträger in diesem Laufwerk!";
constexpr const char* kNoDatabase =
    "Anlegen der Datenbank ist nicht möglich! Überprüfen Sie den Pfad!";
constexpr const char* kDatabaseProblem =
    "Datenbankproblem: Zu wenig Plattenspeicher vorhanden oder maximale Anzahl der Datensätze "
    "erreicht! Wollen Sie es trotzdem weiter versuchen?";
constexpr const char* kNoIndexMemory =
    "Zu wenig Speicher für Sekundärindizes! Möglicherweise stehen somit nicht alle "
    "Sortierfunktionen zur Verfügung.";

// Clears a flag however the scope is left.
struct FlagGuard {
    std::atomic<bool>& flag;
    explicit FlagGuard(std::atomic<bool>& f) : flag(f) { flag = true; }
    ~FlagGuard() { flag = false; }
};

}  // namespace

ScanDriver::ScanDriver(Services s) : s_(std::move(s)), ui_(s_.doc.ui(), s_.invoker) {}

ScanDriver::~ScanDriver() {
    // The owner has let a running scan finish (finishDialogScan); the thread is only joined.
    if (thread_.joinable()) thread_.join();
}

bool ScanDriver::startDialogScan(char letter, ScanDialogView& view, bool background) {
    if (threadRunning_) return false;
    if (thread_.joinable()) thread_.join();
    threadRunning_ = true;
    thread_ = std::thread([this, letter, &view, background] {
        try {
            if (background) {
                NewBaum3(letter, view);
            } else {
                FlagGuard foreground(s_.flags.foreground);
                NewBaum(letter, view);
            }
        } catch (const std::exception& e) {
            failed(view, e.what());
        }
        threadRunning_ = false;
    });
    return true;
}

void ScanDriver::failed(ScanDialogView& view, const std::string& message) {
    // A failure no step caught (a disk error at the final commit, say): the dialog, the flags
    // and the file-search items are put back as after any scan, and the person is told.
    s_.flags.running = false;
    s_.flags.cancel = false;
    try {
        onUi([&] {
            view.setStatus("Scanner bereit...");
            view.setState(ScanDialogState::Idle);
            s_.doc.log().WriteLogLine(message + ": Newbaum");
        });
        std::string folder;
        onUi([&] { folder = s_.doc.settings().DatenbankPfad; });
        ui_.setFileSearchVisible(document::filelist::existsIn(folder));
        ui_.message(MessageKind::Fehler, message, Buttons::Abbrechen);
    } catch (const std::exception&) {
        // The window went meanwhile; the flags are right.
    }
}

void ScanDriver::finishDialogScan(const std::function<void()>& pump) {
    while (threadRunning_) pump();
    if (thread_.joinable()) thread_.join();
}

template <typename F>
void ScanDriver::onUi(F&& f) {
    std::exception_ptr error;
    s_.invoker.invoke([&] {
        try {
            f();
        } catch (...) {
            error = std::current_exception();
        }
    });
    if (error) std::rethrow_exception(error);
}

std::string ScanDriver::unreadableText(const std::string& dir) {
    return "Das Verzeichnis " + dir + " konnte nicht gelesen werden; seine Dateien fehlen.";
}

std::string ScanDriver::incompleteText(const std::string& what, int64_t stored) {
    return what + " nicht vollständig gescannt: " + std::to_string(stored) +
           (stored == 1 ? " Datei" : " Dateien") +
           " gespeichert, dann konnte die Dateiliste nicht mehr geschrieben werden.";
}

void ScanDriver::log(const std::string& line) {
    onUi([&] { s_.doc.log().WriteLogLine(line); });
}

std::vector<platform::Volume> ScanDriver::drives() const {
    return platform::Volumes::list(s_.letters);
}

std::optional<platform::Volume> ScanDriver::driveOf(const std::string& path) const {
    if (path.size() >= 2 && path[1] == ':') {
        // The letter form; "1:" names no drive (and never the folder the program runs in).
        if (!std::isalpha(static_cast<unsigned char>(path[0]))) return std::nullopt;
        return platform::Volumes::byLetter(path[0], s_.letters);
    }
    if (path.empty()) return std::nullopt;
    return platform::Volumes::holding(path, s_.letters);
}

bool ScanDriver::checkDrive(char letter) {
    auto v = platform::Volumes::byLetter(letter, s_.letters);
    if (v && platform::Volumes::ready(*v)) return true;
    ui_.message(MessageKind::Fehler, kNoMedium, Buttons::Abbrechen);
    return false;
}

std::function<std::string()> ScanDriver::folderCorrection() {
    if (!s_.showSettings) return {};
    return [this] {
        std::string folder;
        onUi([&] {
            s_.showSettings();
            folder = s_.doc.settings().DatenbankPfad;
        });
        return folder;
    };
}

ScanDriver::Identity ScanDriver::identityOf(const platform::Volume& v) const {
    auto id = platform::Volumes::identify(v);
    if (!id) throw std::runtime_error("Kein Zugriff auf " + v.root);
    return {id->label, platform::serialText(id->serial)};
}

void ScanDriver::NewBaum(char letter, ScanDialogView& view) {
    ScanFlags& f = s_.flags;
    f.cancel = false;
    onUi([&] {
        view.setStatus("Scanner bereit...");
        view.setNewFiles(0);
    });
    DialogScan scan;
    if (!findMedium(letter, view, scan)) return;
    if (!confirmKnownMedium(view, scan)) return;
    FileList list(scan.settings.DatenbankPfad);
    list.searchIndexFailed = [this](const std::string& line) { log(line); };
    if (!openFileList(list, view, scan.settings)) return;
    // A file list that cannot be written ends the walk; the status line and the log say how
    // far it got, and the question about a database problem follows.
    std::string incomplete;
    try {
        walkMedium(list, view, scan);
    } catch (const FileListWriteError& e) {
        incomplete = listFailed(view, scan.volume.letter, e, "Newbaum");
    }
    if (!finishWalk(list, view, scan, incomplete)) return;
    buildIndexes(list, view, scan.settings);
    onUi([&] { view.setStatus("Suchindex wird erstellt..."); });
    list.close();
    onUi([&] {
        view.setStatus(!incomplete.empty() ? incomplete
                       : f.cancel          ? "Vorgang vom Anwender abgebrochen!"
                                           : "Laufwerk gescannt!");
        view.setState(ScanDialogState::Idle);
    });
    ui_.setFileSearchVisible(true);
    f.running = false;
    ui_.message(MessageKind::Information,
                "Die gescannten Dateien und Verzeichnisse liegen nun\r\nunter \"Suchen/Datei "
                "suchen\" für Sie bereit.",
                Buttons::Ok);
    f.cancel = false;
}

bool ScanDriver::findMedium(char letter, ScanDialogView& view, DialogScan& scan) {
    auto vol = platform::Volumes::byLetter(letter, s_.letters);
    if (!vol || !platform::Volumes::ready(*vol)) {
        ui_.message(MessageKind::Fehler, kNoMedium, Buttons::Abbrechen);
        onUi([&] { view.setState(ScanDialogState::Idle); });
        return false;
    }
    scan.volume = *vol;
    onUi([&] {
        scan.settings = s_.doc.settings();
        scan.catalogOpen = s_.doc.state().CatalogOpen;
        scan.programDir = s_.doc.state().ProgramDir;
    });
    try {
        scan.id = identityOf(*vol);
    } catch (const std::exception&) {
        scan.id = {"", "00000000"};  // the program does not check the volume query
    }
    return true;
}

bool ScanDriver::confirmKnownMedium(ScanDialogView& view, DialogScan& scan) {
    // A medium scanned before is scanned again only when the person wants it.
    ScannedMedia media(scan.programDir);
    try {
        media.ensureExists();
        scan.known = media.contains(scan.id.label, scan.id.serial);
        if (!scan.known) {
            onUi([&] { view.setState(ScanDialogState::Scanning); });
            media.append(scan.id.label, scan.id.serial);
        }
    } catch (const std::exception& e) {
        log(std::string(e.what()) + ": Newbaum");
    }
    if (!scan.known) return true;
    onUi([&] { view.setState(ScanDialogState::Asking); });
    if (ui_.message(MessageKind::Frage,
                    "Diesen Datenträger haben Sie schon einmal gescannt!\r\nWollen Sie diesen "
                    "Vorgang trotzdem durchführen?",
                    Buttons::JaNein) != Answer::Ja) {
        onUi([&] { view.setState(ScanDialogState::Idle); });
        s_.flags.cancel = false;
        return false;
    }
    onUi([&] { view.setState(ScanDialogState::Scanning); });
    return true;
}

bool ScanDriver::openFileList(FileList& list, ScanDialogView& view,
                              const document::Settings& settings) {
    try {
        list.openOrCreate(folderCorrection());
    } catch (const std::exception&) {
        ui_.message(MessageKind::Fehler, kNoDatabase, Buttons::Abbrechen);
        list.close();
        onUi([&] { view.setState(ScanDialogState::Closed); });
        log("Datenbank kann nicht angelegt werden: Newbaum");
        return false;
    }
    try {
        if (settings.SekIndexActive && list.hasPrimaryIndex()) list.dropSecondaryIndexes();
        if (!list.hasPrimaryIndex()) {
            onUi([&] { view.setStatus("Primärindex wird erstellt..."); });
            list.ensurePrimaryIndex();
            onUi([&] { view.setStatus("Primärindex fertig!"); });
        }
    } catch (const std::exception& e) {
        log(std::string(e.what()) + ": Newbaum");
    }
    return true;
}

void ScanDriver::walkMedium(FileList& list, ScanDialogView& view, const DialogScan& scan) {
    s_.flags.running = true;
    DescriptionHooks desc;
    desc.store = [&](const std::string& name, const std::string& text) {
        onUi([&] { hinzu2(s_.doc, s_.autoSave, name, text); });
    };
    desc.progressStart = [&](int64_t lines) {
        onUi([&] {
            ui_.showProgress(true);
            ui_.setProgressRange(0, lines);
        });
    };
    desc.progress = [&](int64_t n) { ui_.setProgressPosition(n); };
    desc.progressEnd = [&] { ui_.showProgress(false); };
    desc.log = [&](const std::string& line) { log(line); };
    WalkHooks hooks;
    hooks.status = [&](const std::string& text) { onUi([&] { view.setStatus(text); }); };
    hooks.counters = [&](int64_t added, int64_t total) {
        onUi([&] {
            view.setNewFiles(added);
            view.setFileCount(total);
        });
    };
    hooks.filesBbs = [&](const std::string& path) { GetFileBBS(path, desc); };
    hooks.archive = [&](const std::string& dir, const std::string& name) {
        if (scan.settings.ReadFileIDDIZ && scan.catalogOpen)
            archiveDescription(dir, name, s_.workFolder, desc);
    };
    hooks.unreadable = [&](const std::string& dir) { log(unreadableText(dir)); };
    hooks.severeFailure = [&](const std::string& dir) {
        ui_.message(MessageKind::Fehler, "SCHWERER FEHLER!! Dateisystem kann nicht gelesen werden.",
                    Buttons::Abbrechen);
        log("Eine Datei konnte nicht gescannt werden (" + dir +
            "). Dateisystem möglicherweise inkonsistent.");
    };
    WalkOptions options;
    options.hidden = scan.settings.Hidden;
    options.readFilesBbs = scan.settings.ReadFilesBBS;
    options.catalogOpen = scan.catalogOpen;
    TreeWalk walk(list, WalkVariant::Baum, s_.flags.cancel, options, hooks);
    walk.walk(scan.volume.root, scan.id.label, scan.id.serial);
}

std::string ScanDriver::listFailed(ScanDialogView& view, char letter, const FileListWriteError& e,
                                   const char* routine) {
    const std::string text = incompleteText(std::string("Laufwerk ") + letter + ":", e.stored());
    log(std::string(e.what()) + ": " + routine);
    log(text);
    onUi([&] { view.setStatus(text); });
    return text;
}

bool ScanDriver::finishWalk(FileList& list, ScanDialogView& view, const DialogScan& scan,
                            std::string& incomplete) {
    ScanFlags& f = s_.flags;
    // The final commit; nothing new is asked about like a database problem, and so is a file
    // list that could not be written, then or during the walk.
    if (incomplete.empty()) {
        try {
            if (list.commit()) return true;
        } catch (const FileListWriteError& e) {
            incomplete = listFailed(view, scan.volume.letter, e, "Newbaum");
        }
    }
    if (!f.running) {
        f.cancel = true;  // the person cancelled
        return true;
    }
    const std::string question =
        scan.known
            ? std::string(kDatabaseProblem)
            : "Keine Dateien auf diesem Datenträger gefunden oder " + std::string(kDatabaseProblem);
    if (ui_.message(MessageKind::Frage, question, Buttons::JaNein) == Answer::Ja) return true;
    f.cancel = true;
    list.close();
    onUi([&] { view.setState(ScanDialogState::Idle); });
    f.running = false;
    return false;
}

void ScanDriver::buildIndexes(FileList& list, ScanDialogView& view,
                              const document::Settings& settings) {
    onUi([&] { view.setStatus("Primärindex wird aktualisiert..."); });
    if (!settings.SekIndexActive) return;
    const bool hide =
        ui_.message(MessageKind::Bestaetigen,
                    "Jetzt werden die Indizes erstellt. Dieser Vorgang kann einige Minuten in "
                    "Anspruch nehmen. Soll die Anwendung solange in den Hintergrund gelegt "
                    "werden?",
                    Buttons::JaNein) == Answer::Ja;
    if (hide) onUi([&] { view.hideWindows(true); });
    try {
        list.rebuildSecondaryIndexes([&](int i) {
            onUi([&] { view.setStatus("Erstelle Sekundärindex (" + std::to_string(i) + "/3)"); });
        });
    } catch (const std::exception&) {
        ui_.message(MessageKind::Fehler, kNoIndexMemory, Buttons::Abbrechen);
        list.close();
        onUi([&] { view.setState(ScanDialogState::Idle); });
        log("Zu wenig Speicher fuer Sekundaerindizes vorhanden: Newbaum");
        ui_.setFileSearchVisible(true);
    }
    if (hide) onUi([&] { view.hideWindows(false); });
}

void ScanDriver::NewBaum3(char letter, ScanDialogView& view) {
    ScanFlags& f = s_.flags;
    FlagGuard background(f.background);
    f.cancel = false;

    auto vol = platform::Volumes::byLetter(letter, s_.letters);
    if (!vol || !platform::Volumes::ready(*vol)) {
        ui_.message(MessageKind::Fehler, kNoMedium, Buttons::Abbrechen);
        return;
    }
    document::Settings settings;
    std::string programDir;
    onUi([&] {
        settings = s_.doc.settings();
        programDir = s_.doc.state().ProgramDir;
    });
    Identity id;
    try {
        id = identityOf(*vol);
    } catch (const std::exception&) {
        id = {"", "00000000"};
    }
    ScannedMedia media(programDir);
    bool known = false;
    try {
        media.ensureExists();
        known = media.contains(id.label, id.serial);
        if (!known) media.append(id.label, id.serial);
    } catch (const std::exception& e) {
        log(std::string(e.what()) + ": Newbaum3");
    }
    if (known && ui_.message(MessageKind::Frage,
                             "Diesen Datenträger haben Sie schon einmal gescannt! Wollen Sie "
                             "diesen Vorgang trotzdem durchführen?",
                             Buttons::JaNein) != Answer::Ja)
        return;

    ui_.setFileSearchVisible(false);
    FileList list(settings.DatenbankPfad);
    list.searchIndexFailed = [this](const std::string& line) { log(line); };
    try {
        list.openOrCreate(folderCorrection());
    } catch (const std::exception&) {
        ui_.message(MessageKind::Fehler, kNoDatabase, Buttons::Abbrechen);
        list.close();
        log(known ? "Datenbank kann nicht angelegt werden: Newbaum3"
                  : "Datenbank kann nicht angelegt werden.");
        ui_.setFileSearchVisible(list.exists());
        return;
    }
    try {
        list.prepareForInserts(settings.SekIndexActive);
    } catch (const std::exception& e) {
        log(std::string(e.what()) + ": Newbaum3");
    }

    onUi([&] { view.setState(ScanDialogState::Closed); });
    WalkOptions options;
    options.hidden = settings.Hidden;
    WalkHooks quiet;
    quiet.unreadable = [&](const std::string& dir) { log(unreadableText(dir)); };
    TreeWalk walk(list, WalkVariant::Baum3, f.cancel, options, quiet);
    // A file list that cannot be written ends the walk, as a failing final commit ends it:
    // the log and the status line say how far it got, and the question follows.
    bool committed = false;
    try {
        walk.walk(vol->root, id.label, id.serial);
        committed = list.commit();
    } catch (const FileListWriteError& e) {
        listFailed(view, vol->letter, e, "Newbaum3");
    }
    if (!committed &&
        ui_.message(MessageKind::Frage, kDatabaseProblem, Buttons::JaNein) != Answer::Ja) {
        f.cancel = true;
        log(known ? "Datenbankproblem: Zu wenig Plattenspeicher vorhanden?"
                  : "Datenbankproblem: Zu wenig Plattenspeicher vorhanden? Newbaum3");
        list.close();
        ui_.setFileSearchVisible(true);
        return;
    }
    if (settings.SekIndexActive) {
        try {
            list.rebuildSecondaryIndexes();
        } catch (const std::exception&) {
            ui_.message(MessageKind::Fehler, kNoIndexMemory, Buttons::Abbrechen);
            log("Zu wenig Speicher fuer Sekundaerindizes vorhanden: Newbaum3");
        }
    }
    list.close();
    ui_.setFileSearchVisible(true);
    ui_.message(MessageKind::Information, "Laufwerksscan beendet!", Buttons::Ok);
    f.cancel = false;
}

bool ScanDriver::prompt() {
    const document::Settings settings = s_.doc.settings();
    const auto all = drives();
    std::string roots;
    for (const auto& v : all) roots += (roots.empty() ? "" : " ") + v.root;
    log("Scanne folgende Laufwerke: " + roots);

    FileList list(settings.DatenbankPfad);
    list.searchIndexFailed = [this](const std::string& line) { log(line); };
    try {
        list.openOrCreate(folderCorrection());
        list.prepareForInserts(settings.SekIndexActive);
    } catch (const std::exception&) {
        log(kNoDatabase);
        list.close();
        return true;
    }
    WalkOptions options;
    options.hidden = settings.Hidden;
    list.searchIndexOnClose = false;  // built once, after the last drive
    for (const auto& v : all) {
        if (!platform::Volumes::ready(v)) {
            log("Kein Datenträger in Laufwerk " + v.root + "!");
            continue;
        }
        try {
            const Identity id = identityOf(v);
            if (!list.table().active()) list.openOrCreate();
            WalkHooks quiet;
            quiet.unreadable = [&](const std::string& dir) { log(unreadableText(dir)); };
            TreeWalk walk(list, WalkVariant::Baum2, s_.flags.cancel, options, quiet);
            walk.walk(v.root, id.label, id.serial);
            list.commit();  // a drive without new files is scanned all the same
            log("Laufwerk " + v.root + " erfolgreich gescannt.");
            list.close();
        } catch (const FileListWriteError& e) {
            // The next drives could not be stored either: the command ends here.
            log(std::string(e.what()) + ": Prompt");
            log(incompleteText("Laufwerk " + v.root, e.stored()));
            list.close();
            s_.flags.cancel = true;
            return false;
        } catch (const std::exception&) {
            log("Kein Zugriff auf Laufwerk " + v.root + " möglich!");
            list.close();
        }
    }
    if (settings.SekIndexActive) {
        try {
            list.openOrCreate();
            list.rebuildSecondaryIndexes();
        } catch (const std::exception&) {
            log("Sekundärindizes konnten nicht erzeugt werden: Prompt");
            log("Zu wenig Speicher für Sekundärindizes? Möglicherweise stehen somit nicht alle "
                "Sortierfunktionen zur Verfügung.");
        }
        list.close();
    }
    list.searchIndexOnClose = true;
    try {
        list.openOrCreate();
    } catch (const std::exception&) {
        // Nothing to index: the failure was logged with the drive.
    }
    list.close();
    log("Laufwerksscan beendet.");
    return true;
}

bool ScanDriver::PromptThisDrive(const std::string& pathIn, bool isDirectory) {
    const document::Settings settings = s_.doc.settings();
    // The letter form in upper case ("f:" is drive F:); native paths stay as given.
    std::string path = pathIn;
    if (path.size() >= 2 && path[1] == ':')
        path[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
    const std::string what = isDirectory ? "Verzeichnis " : "Laufwerk ";
    log((isDirectory ? "Scanne folgendes Verzeichnis: " : "Scanne folgendes Laufwerk: ") + path);
    FileList list(settings.DatenbankPfad);
    list.searchIndexFailed = [this](const std::string& line) { log(line); };
    try {
        list.openOrCreate(folderCorrection());
        list.prepareForInserts(settings.SekIndexActive);
    } catch (const std::exception&) {
        log("Problem bei Erzeugung der DB: Prompt this Drive");
        log(kNoDatabase);
        list.close();
        return false;
    }
    bool scanned = false;
    try {
        auto vol = driveOf(path);
        if (!vol || !platform::Volumes::ready(*vol)) {
            log("Kein Datenträger in Laufwerk " + path + "!");
            list.close();
            return false;
        }
        try {
            const Identity id = identityOf(*vol);
            // The letter form names a folder below the medium's mount point.
            std::string dir = path;
            if (dir.size() >= 2 && dir[1] == ':') {
                std::string rest = dir.substr(2);
                for (char& c : rest) {
                    if (c == '\\') c = '/';
                }
                while (!rest.empty() && rest[0] == '/') rest.erase(0, 1);
                dir = vol->root + rest;
            }
            std::error_code ec;
            dir = fs::absolute(dir, ec).lexically_normal().string();
            if (dir.empty() || dir.back() != '/') dir += '/';
            // A folder that is not there, or a file: no scan, and no success reported.
            if (!fs::is_directory(dir, ec)) throw std::runtime_error("kein Verzeichnis");
            DescriptionHooks desc;
            desc.store = [&](const std::string& name, const std::string& text) {
                hinzu2(s_.doc, s_.autoSave, name, text);
            };
            desc.log = [&](const std::string& line) { log(line); };
            WalkHooks hooks;
            hooks.filesBbs = [&](const std::string& p) { GetFileBBS(p, desc); };
            hooks.archive = [&](const std::string& d, const std::string& n) {
                if (settings.ReadFileIDDIZ && s_.doc.state().CatalogOpen)
                    archiveDescription(d, n, s_.workFolder, desc);
            };
            hooks.unreadable = [&](const std::string& d) { log(unreadableText(d)); };
            hooks.severeFailure = [&](const std::string& d) {
                log("Eine Datei konnte nicht gescannt werden (" + d +
                    "). Dateisystem möglicherweise inkonsistent.");
            };
            WalkOptions options;
            options.hidden = settings.Hidden;
            options.readFilesBbs = settings.ReadFilesBBS;
            options.catalogOpen = s_.doc.state().CatalogOpen;
            options.dialogMode = false;
            TreeWalk walk(list, WalkVariant::Baum, s_.flags.cancel, options, hooks);
            walk.walk(dir, id.label, id.serial);
            list.commit();  // nothing new is no failure of the scan
            log(what + path + " erfolgreich gescannt.");
            scanned = true;
            list.close();
        } catch (const FileListWriteError& e) {
            log(std::string(e.what()) + ": Prompt this Drive");
            log(incompleteText(what + path, e.stored()));
            list.close();
        } catch (const std::exception&) {
            log("Problem bei: Prompt this Drive");
            log("Kein Zugriff auf " + what + path + " möglich!");
            list.close();
        }
        if (settings.SekIndexActive) {
            try {
                list.openOrCreate();
                list.rebuildSecondaryIndexes();
            } catch (const std::exception&) {
                log("Problem bei Erzeugung der Sekundärindizes: Prompt this Drive");
                log(kNoIndexMemory);
            }
            list.close();
        }
    } catch (const std::exception&) {
        log("Problem beim Laufwerkszugriff: Prompt this Drive");
        list.close();
        return false;
    }
    return scanned;
}

}  // namespace mv32::scan
