#include "app/Program.h"

#include <exception>
#include <filesystem>

#include "edit/PickLists.h"
#include "platform/Paths.h"
#include "search/UserSql.h"

namespace mv32::app {

Program::Program(Options options, document::UserInterface& ui, document::UiInvoker& invoker)
    : options_(std::move(options)),
      unattended_(runsUnattended(options_.args)
                      ? std::make_unique<document::UnattendedUserInterface>(ui)
                      : nullptr),
      ui_(unattended_ ? *unattended_ : ui),
      invoker_(invoker) {
    if (!options_.store) options_.store = std::make_unique<document::MemorySettingsStore>();
    const platform::Clock& clock = options_.clock ? *options_.clock : platform::Clock::system();
    settings_ = document::Settings::defaults(options_.programDir);
    log_ = std::make_unique<document::Log>(options_.programDir, clock);
    if (unattended_) {
        log_->echo = [this](const std::string& line) { unattendedLines_.push_back(line); };
        unattended_->report = [this](const std::string& line) { log_->WriteLogLine(line); };
    }
    doc_ = std::make_unique<document::CatalogDocument>(document::CatalogDocument::Services{
        ui_, *options_.store, settings_, *log_, clock, options_.programDir});
    autoSave_ = std::make_unique<document::AutoSave>(*doc_);
    reader_ = std::make_unique<exchange::MvReader>(*doc_);
    writer_ = std::make_unique<exchange::MvWriter>(*doc_);
    doc_->legacyOpener = [this](const std::string& path, int mark) {
        reader_->openAsNewCatalog(path, mark);
    };
    shell_ = std::make_unique<ProgramShell>(*doc_, options_.args, options_.programFile);
    if (!options_.writeShellEntries) shell_->writeShellEntries = [](const std::string&) {};
    catalogSource_.setTable(doc_->MV32());
    undoSource_.setTable(doc_->undoTable());
    recordCount_ = std::make_unique<RecordCount>(*doc_);
    catalogSource_.addLink(*recordCount_);
    journal_ = std::make_unique<edit::UndoJournal>(*doc_, catalogSource_, undoSource_);
    overview_ = std::make_unique<edit::Overview>(*doc_, catalogSource_);
    tree_ = std::make_unique<edit::CategoryTree>(*doc_, catalogSource_);
    removal_ = std::make_unique<edit::MediumRemoval>(*doc_, letterMemory());
    exports_ = std::make_unique<exchange::ExportCommands>(*doc_, catalogSource_);
    doc_->afterInsertHook = [this](engine::Table& t) {
        if (entryForm_) entryForm_->applyCarryOver(t);
    };
}

Program::~Program() {
    // The windows' parts let go of the data sources before the tables go.
    doc_->afterInsertHook = nullptr;
    catalogSource_.removeLink(*recordCount_);
    entryForm_.reset();
    overview_.reset();
    journal_.reset();
    catalogSource_.clear();
    undoSource_.clear();
}

edit::EntryForm& Program::makeEntryForm(edit::EntryForm::View view, std::function<void()> overview,
                                        bool prepare) {
    if (!entryForm_) {
        entryForm_ = std::make_unique<edit::EntryForm>(
            edit::EntryForm::Services{*doc_, catalogSource_, letterMemory(),
                                      [this] {
                                          if (scanCommand) scanCommand();
                                      },
                                      std::move(overview), prepare},
            std::move(view));
    }
    return *entryForm_;
}

platform::LetterMemory Program::letterMemory() {
    // Drive letters of mounted media are remembered in the settings store, so that a medium
    // keeps its letter from run to run.
    platform::LetterMemory letters;
    letters.load = [store = options_.store.get()] {
        std::vector<std::pair<std::string, char>> out;
        try {
            for (const auto& [mount, letter] : store->readSection("Laufwerke"))
                if (!letter.empty()) out.emplace_back(mount, letter[0]);
        } catch (const std::exception&) {  // no memory: letters in the order of the mounts
        }
        return out;
    };
    letters.store = [store = options_.store.get()](const std::string& mount, char letter) {
        try {
            store->write("Laufwerke", {{mount, std::string(1, letter)}});
        } catch (const std::exception&) {
        }
    };
    return letters;
}

void Program::start(std::function<void()> showSettings) {
    // A list file the person deletes later stays deleted: only a new program folder gets them.
    if (options_.programDirCreated) installListFiles();
    guarded([this] { shell_->FormCreate(); });
    // Nobody is there to choose another data folder in a run that nobody watches.
    if (unattended_) showSettings = nullptr;
    scanDriver_ = std::make_unique<scan::ScanDriver>(
        scan::ScanDriver::Services{*doc_, *autoSave_, invoker_, scanFlags_, shell_->tempFolder(),
                                   letterMemory(), std::move(showSettings)});
    shell_->scanDriver = scanDriver_.get();
}

void Program::finish() {
    shell_->FormDestroy();
}

void Program::guarded(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& e) {
        ui_.showApplicationError(e.what());
    }
}

bool Program::run(Command command) {
    switch (command) {
        case Command::Neu:
            doc_->Neu();
            return true;
        case Command::Oeffnen:
            doc_->Oeffnen();
            return true;
        case Command::Speichern:
            doc_->Speichern();
            return true;
        case Command::SpeichernUnter:
            doc_->SpeichernUnter();
            return true;
        case Command::Schliessen:
            doc_->Schliessen();
            return true;
        case Command::Loeschen:
            doc_->Loeschen();
            return true;
        case Command::ImportMv:
            reader_->Import();
            return true;
        case Command::ExportMv:
            writer_->ExpMVItemClick();
            return true;
        case Command::ExportDbf:
            exports_->dbaseExport();
            return true;
        case Command::ImportDb:
            exports_->importCatalog();
            return true;
        case Command::UndoFast:
            journal_->restoreAll();
            return true;
        case Command::UserSql:
            search::ExecuteSQL1Click(*doc_, *overview_);
            return true;
        default:
            break;
    }
    return false;
}

void Program::installListFiles() const {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path program = fs::path(options_.programFile).parent_path();
    for (const char* name : {edit::kCategoryFile, edit::kStatusFile}) {
        const fs::path target = fs::path(options_.programDir) / name;
        if (fs::exists(target, ec)) continue;
        for (const fs::path& from :
             {program / name, program / ".." / "share" / "mavrel32" / name}) {
            if (fs::is_regular_file(from, ec) && !fs::equivalent(from, target, ec)) {
                fs::copy_file(from, target, ec);
                break;
            }
        }
    }
}

std::string Program::helpFolder() const {
    namespace fs = std::filesystem;
    std::error_code ec;
    const std::string beside = options_.programDir + "hilfe" + platform::separator();
    if (fs::exists(beside + "index.html", ec)) return beside;
    // Installed: <prefix>/bin/mv32 and <prefix>/share/mavrel32/hilfe/.
    const fs::path program = fs::path(options_.programFile).parent_path();
    const std::string installed =
        (program / ".." / "share" / "mavrel32" / "hilfe").lexically_normal().string() +
        platform::separator();
    if (fs::exists(installed + "index.html", ec)) return installed;
    return (program / "hilfe").string() + platform::separator();
}

}  // namespace mv32::app
