#include "exchange/ExportCommands.h"

#include <exception>
#include <filesystem>

#include "document/Catalog.h"
#include "document/OwnFiles.h"
#include "engine/SystemPaths.h"
#include "engine/Text.h"
#include "exchange/DbaseExport.h"
#include "exchange/HtmlExport.h"
#include "exchange/TextExport.h"
#include "platform/Paths.h"

namespace mv32::exchange {

using document::Animation;
using document::Answer;
using document::Buttons;
using document::MessageKind;

namespace {

bool hasExtension(const std::string& path, const std::string& ext) {
    const std::string upper = engine::text::upper(platform::fileNameOf(path));
    const std::string want = "." + ext;
    return upper.size() >= want.size() &&
           upper.compare(upper.size() - want.size(), want.size(), want) == 0;
}

}  // namespace

bool ExportCommands::possible() const {
    return doc_.state().CatalogOpen && !doc_.state().TreeBuilding;
}

std::string ExportCommands::askTarget(const char* title, const char* filter, const char* ext) {
    document::FileDialogRequest r;
    r.save = true;
    r.title = title;
    r.filter = filter;
    r.defaultExt = ext;
    r.initialName = platform::fileNameOf(document::catalogBase(doc_.MV32().filePath()));
    r.mustExist = true;
    if (!possible()) return {};
    std::string path = doc_.askForFile(r).path;
    if (path.empty()) return {};
    if (!hasExtension(path, ext)) path += std::string(".") + ext;
    if (!targetAllowed(path)) return {};
    std::error_code ec;
    if (std::filesystem::exists(engine::paths::fsPath(path), ec) &&
        doc_.ui().message(MessageKind::Warnung, document::kOverwriteQuestion, Buttons::JaNein) !=
            Answer::Ja)
        return {};
    return path;
}

bool ExportCommands::targetAllowed(const std::string& path) {
    const std::string refusal = document::ownFileRefusal(path, document::ownFilesOf(doc_));
    if (refusal.empty()) return true;
    doc_.ui().message(MessageKind::Fehler, refusal, Buttons::Abbrechen);
    return false;
}

std::string ExportCommands::askPdfTarget() {
    return askTarget("Liste als PDF speichern", "PDF-Dateien (*.PDF)|*.PDF", "PDF");
}

template <typename Write>
void ExportCommands::run(const std::string& path, bool busy, Write&& write) {
    auto& ui = doc_.ui();
    auto& st = doc_.state();
    st.AutoSaveHold = true;
    ui.showProgress(true);
    if (busy) ui.showAnimation(Animation::Busy, true);
    ExportProgress progress;
    progress.started = [&](int64_t total) {
        ui.setProgressRange(0, total);
        ui.setProgressPosition(0);
        ui.processEvents();
    };
    progress.advanced = [&](int64_t done) {
        ui.setProgressPosition(done);
        if (done % 256 == 0) ui.processEvents();
    };
    std::string failure;
    try {
        write(path, progress);
    } catch (const std::exception& e) {
        failure = e.what();
    }
    ui.showProgress(false);
    if (busy) ui.showAnimation(Animation::Busy, false);
    st.AutoSaveHold = false;
    if (!failure.empty()) ui.message(MessageKind::Fehler, "Fehler: " + failure, Buttons::Abbrechen);
}

void ExportCommands::textExport(const ExportChoice& choice, engine::Cursor* result) {
    if (!possible()) return;
    const std::string path =
        askTarget("Daten in das ASCII-Format exportieren", "ASCII-Datei (*.TXT)|*.TXT", "TXT");
    if (path.empty()) return;
    run(path, result == nullptr, [&](const std::string& p, const ExportProgress& progress) {
        if (result) {
            auto rows = result->reader();
            writeTextExport(*rows, ExportSource::Result, choice, p, progress);
            return;
        }
        doc_.MV32().setIndexName("");
        auto rows = doc_.MV32().reader();
        writeTextExport(*rows, ExportSource::Catalog, choice, p, progress);
    });
}

void ExportCommands::htmlExport(const ExportChoice& choice) {
    if (!possible()) return;
    const std::string path =
        askTarget("Daten in das HTML-Format exportieren", "HTML-Dateien (*.HTML)|*.HTML", "HTML");
    if (path.empty()) return;
    run(path, true, [&](const std::string& p, const ExportProgress& progress) {
        doc_.MV32().setIndexName("");
        auto rows = doc_.MV32().reader();
        writeHtmlExport(*rows, choice, p, progress);
    });
}

void ExportCommands::dbaseExport() {
    if (!possible()) return;
    const std::string path =
        askTarget("Daten in das dBase-Format exportieren", "dBase IV (*.DBF)|*.DBF", "DBF");
    if (path.empty()) return;
    auto& ui = doc_.ui();
    doc_.state().AutoSaveHold = true;
    ui.showAnimation(Animation::Busy, true);
    try {
        auto rows = doc_.MV32().reader();
        writeDbaseExport(*rows, path);
    } catch (const std::exception& e) {
        ui.showAnimation(Animation::Busy, false);
        doc_.state().AutoSaveHold = false;
        ui.showApplicationError(e.what());
        return;
    }
    ui.showAnimation(Animation::Busy, false);
    doc_.state().AutoSaveHold = false;
}

void ExportCommands::importCatalog() {
    if (!possible()) return;
    document::FileDialogRequest r;
    r.filter = "Mavrel32-Dateien (*.DB)|*.DB";
    r.defaultExt = "DB";
    r.mustExist = true;
    const std::string path = doc_.askForFile(r).path;
    if (path.empty() || !hasExtension(path, "DB")) return;
    auto& ui = doc_.ui();
    ui.showAnimation(Animation::Busy, true);
    std::string failure;
    try {
        mergeCatalog(doc_.MV32(), path);
    } catch (const std::exception& e) {
        failure = e.what();
    }
    // The batch move wrote below the record level: the windows over the catalog read again.
    try {
        doc_.MV32().refresh();
    } catch (const std::exception&) {
    }
    ui.showAnimation(Animation::Busy, false);
    if (!failure.empty()) {
        ui.showApplicationError(failure);
        return;
    }
    doc_.updateRecordLabel();
    ui.message(MessageKind::Hinweis,
               "Die Datei " + engine::text::upper(platform::fileNameOf(path)) +
                   " wurde der Datenbank hinzugefügt!",
               Buttons::Ok);
}

void ExportCommands::print(const std::string& margin, const std::string& columns,
                           report::Paper paper, report::PageSize page, engine::Cursor* result,
                           const Preview& preview) {
    if (!doc_.state().CatalogOpen) return;
    report::ReportSettings settings;
    try {
        settings = report::readSettings(margin, columns, paper, page);
    } catch (const std::exception& e) {
        doc_.ui().message(MessageKind::Fehler, e.what(), Buttons::Abbrechen);
        return;
    }
    auto rows = result ? result->reader() : doc_.MV32().reader();
    if (!rows || !preview || !preview(*rows, settings))
        doc_.ui().message(MessageKind::Fehler, report::kNoPrinter, Buttons::Abbrechen);
}

}  // namespace mv32::exchange
