// The program's start and end as core logic: the creation steps of the main window, the command
// line, and the questions of the exit sequence.
//
// TMavrel32Main calls FormCreate() once while it is built, handleCommandLine() when it is first
// shown, FormCloseQuery() when it is asked to close and FormDestroy() at the end; the window
// itself only shows what the document and this object decide. User-interface thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "document/CatalogDocument.h"

namespace mv32::scan {
class ScanDriver;
}

namespace mv32::app {

// Whether the command line asks for a run that nobody watches and that ends by itself
// ("SCANALL", or "CLOSE" third): such a run never waits for a person.
bool runsUnattended(const std::vector<std::string>& args);
// Writes one line to the log of the program folder as its settings say, before (or without)
// a program object: a second instance that ends at once. A log that cannot be written is
// passed over; the caller tells the line on standard error too.
void writeLogLineWithoutProgram(document::SettingsStore& store, const std::string& programDir,
                                const std::string& line);

class ProgramShell {
public:
    ProgramShell(document::CatalogDocument& doc, std::vector<std::string> args,
                 std::string programFile);

    // What creating the main window does once its controls exist: a fresh undo table, the
    // archivers' folder, the settings with what follows them (log, timer, sort items, shell
    // entries), the file search items, No catalog, and the file opened last. Failures only log
    // (and the undo table shows its error).
    void FormCreate();
    // What the window does after the command line was handled.
    // CloseFailed: end the program with a non-zero status (a command-line scan with CLOSE
    // that could not be done; the log says why).
    enum class AfterCommandLine { Nothing, Close, CloseFailed, ShowNormal };
    // "SCANALL", "DRIVE" path ["CLOSE"], "DIR" path ["CLOSE"], or a catalog or legacy file,
    // which replaces what start-up opened. Any other command line with "CLOSE" third is logged
    // and ends the run with CloseFailed: nobody would answer the window it leaves open.
    AfterCommandLine handleCommandLine();
    // The scan driver the command-line scans use (set by the window).
    scan::ScanDriver* scanDriver = nullptr;
    // The exit sequence; true when the window may close.
    bool FormCloseQuery();
    // The end of the run: the undo table is closed and deleted.
    void FormDestroy();

    // The folder for the archivers' work, made at start-up (Linux: private, per run).
    const std::string& tempFolder() const { return tempFolder_; }
    // Whether the command line asks to close without questions ("SCANALL", or "CLOSE" third).
    bool closesWithoutAsking() const;
    // Set by the window: a scan thread is running.
    std::function<bool()> backgroundScanRunning;
    // Writes the desktop entries (replaceable in tests).
    std::function<void(const std::string& programFile)> writeShellEntries;

private:
    std::string upperArg(size_t i) const;
    void makeUndoTable();
    void makeWorkFolder();
    void applySettings();
    void startWithoutCatalog();

    document::CatalogDocument& doc_;
    std::vector<std::string> args_;
    std::string programFile_;
    std::string tempFolder_;
};

}  // namespace mv32::app
