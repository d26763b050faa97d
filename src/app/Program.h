// The program object: everything one run of Mavrel/32 consists of, made and wired in one place.
//
// It owns the settings, the log, the catalog document, auto-save, the legacy reader and writer,
// the program shell, the scan driver and the memory of drive letters. The main window makes it
// with its user-interface port and shows what it decides; tests make the same object with a
// scripted port. User-interface thread only; the scan driver reaches that thread through the
// invoker.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/CommandTable.h"
#include "app/ProgramShell.h"
#include "document/AutoSave.h"
#include "document/CatalogDocument.h"
#include "document/DataSource.h"
#include "document/Log.h"
#include "document/MarshalledUserInterface.h"
#include "document/Settings.h"
#include "document/SettingsStore.h"
#include "document/UnattendedUserInterface.h"
#include "edit/CategoryTree.h"
#include "edit/EntryForm.h"
#include "edit/MediumRemoval.h"
#include "edit/Overview.h"
#include "edit/UndoJournal.h"
#include "exchange/ExportCommands.h"
#include "exchange/MvReader.h"
#include "exchange/MvWriter.h"
#include "platform/Clock.h"
#include "scan/ScanDriver.h"

namespace mv32::app {

class Program {
public:
    struct Options {
        std::vector<std::string> args;                   // the command line after the program name
        std::string programFile;                         // path of the program file
        std::string programDir;                          // with a trailing separator
        std::unique_ptr<document::SettingsStore> store;  // default: in memory
        const platform::Clock* clock = nullptr;          // default: the system clock
        bool writeShellEntries = true;
        // ProgramDir was made by this run: the shipped list files are copied into it.
        bool programDirCreated = false;
    };

    Program(Options options, document::UserInterface& ui, document::UiInvoker& invoker);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // The steps of creating the main window (ProgramShell::FormCreate), then the scan driver,
    // which needs the folder they make. `showSettings` opens the settings dialog, for the scan
    // driver's last attempt at a data folder.
    void start(std::function<void()> showSettings);
    // The end of the run (ProgramShell::FormDestroy).
    void finish();

    // Runs a command the core carries out; false for a command only a window can carry out
    // (opening a dialog or a help page, ending the program).
    bool run(Command command);
    // Runs `command` as the program's general error handler does: an error that reaches it
    // is shown, and the program goes on.
    void guarded(const std::function<void()>& command);

    // Where the help pages are: below the program folder, else beside the installed program,
    // else beside the program file.
    std::string helpFolder() const;
    // Copies the shipped KATLIST.TXT and STATLIST.TXT (beside the program file, or below
    // share/mavrel32 when installed) into ProgramDir where they are not there yet.
    void installListFiles() const;

    const Options& options() const { return options_; }
    document::UserInterface& ui() { return ui_; }
    document::SettingsStore& store() { return *options_.store; }
    document::Settings& settings() { return settings_; }
    document::Log& log() { return *log_; }
    document::CatalogDocument& document() { return *doc_; }
    document::AutoSave& autoSave() { return *autoSave_; }
    exchange::MvReader& reader() { return *reader_; }
    exchange::MvWriter& writer() { return *writer_; }
    ProgramShell& shell() { return *shell_; }
    scan::ScanFlags& scanFlags() { return scanFlags_; }
    // Made by start().
    scan::ScanDriver& scanDriver() { return *scanDriver_; }
    // MV32DS and UndoDataSource: the catalog table and the undo table as the windows show them.
    document::DataSource& catalogSource() { return catalogSource_; }
    document::DataSource& undoSource() { return undoSource_; }
    edit::UndoJournal& journal() { return *journal_; }
    // The entry window's core, made with the window on its first opening; null before.
    edit::EntryForm* entryForm() { return entryForm_.get(); }
    edit::EntryForm& makeEntryForm(edit::EntryForm::View view, std::function<void()> overview,
                                   bool prepare = true);
    // The overview window's core (MV32SQL and its data source included).
    edit::Overview& overview() { return *overview_; }
    // The tree window's core.
    edit::CategoryTree& categoryTree() { return *tree_; }
    // The removal of a scanned medium.
    edit::MediumRemoval& mediumRemoval() { return *removal_; }
    // The exports and the catalog import.
    exchange::ExportCommands& exports() { return *exports_; }
    // The entry window goes before the program: its core goes with it.
    void dropEntryForm() { entryForm_.reset(); }
    // A run nobody watches (runsUnattended) that would have waited for a person; and the log
    // lines of such a run, which the program tells on standard error when it fails.
    bool unattendedRunWaited() const { return unattended_ && unattended_->waitedForNobody(); }
    const std::vector<std::string>& unattendedLines() const { return unattendedLines_; }
    // The main window's scan command, which the entry window starts too.
    std::function<void()> scanCommand;

private:
    // The main window's record count follows every change of the catalog's records and of its
    // position: the entry form, the grids, the deletions and the batch moves alike.
    class RecordCount : public document::DataLink {
    public:
        explicit RecordCount(document::CatalogDocument& doc) : doc_(doc) {}
        void activeChanged(document::DataSource&) override { doc_.updateRecordLabel(); }
        void dataSetChanged(document::DataSource&, document::DataChange) override {
            doc_.updateRecordLabel();
        }

    private:
        document::CatalogDocument& doc_;
    };

    platform::LetterMemory letterMemory();

    Options options_;
    // The port of a run nobody watches, wrapped around the window's; null otherwise.
    std::unique_ptr<document::UnattendedUserInterface> unattended_;
    std::vector<std::string> unattendedLines_;
    document::UserInterface& ui_;
    document::UiInvoker& invoker_;
    document::Settings settings_;
    std::unique_ptr<document::Log> log_;
    std::unique_ptr<document::CatalogDocument> doc_;
    std::unique_ptr<document::AutoSave> autoSave_;
    std::unique_ptr<exchange::MvReader> reader_;
    std::unique_ptr<exchange::MvWriter> writer_;
    std::unique_ptr<ProgramShell> shell_;
    scan::ScanFlags scanFlags_;
    std::unique_ptr<scan::ScanDriver> scanDriver_;
    document::DataSource catalogSource_;
    document::DataSource undoSource_;
    std::unique_ptr<RecordCount> recordCount_;
    std::unique_ptr<edit::UndoJournal> journal_;
    std::unique_ptr<edit::EntryForm> entryForm_;
    std::unique_ptr<edit::Overview> overview_;
    std::unique_ptr<edit::CategoryTree> tree_;
    std::unique_ptr<edit::MediumRemoval> removal_;
    std::unique_ptr<exchange::ExportCommands> exports_;
};

}  // namespace mv32::app
