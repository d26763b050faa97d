#include "tools/mv32db/LegacyTool.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <ostream>

#include "document/Catalog.h"
#include "document/CatalogDocument.h"
#include "document/ConsoleUserInterface.h"
#include "document/Log.h"
#include "document/Settings.h"
#include "document/SettingsStore.h"
#include "engine/EngineError.h"
#include "engine/FileSystem.h"
#include "engine/SystemPaths.h"
#include "engine/Table.h"
#include "exchange/MvReader.h"
#include "exchange/MvWriter.h"
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "tools/mv32db/ExportTool.h"

namespace mv32::tools {

namespace {

using namespace document;

// Why `path` cannot be read as a file, or "".
std::string unreadable(const std::string& path) {
    std::error_code ec;
    auto status = std::filesystem::status(engine::paths::fsPath(path), ec);
    const std::string name = "»" + path + "«";
    if (!std::filesystem::exists(status)) return "Die Datei " + name + " existiert nicht.";
    if (std::filesystem::is_directory(status)) return name + " ist ein Ordner, keine MV-Datei.";
    if (!std::filesystem::is_regular_file(status)) return name + " ist keine gewöhnliche Datei.";
    std::FILE* f = engine::paths::openFile(path, "rb");
    if (!f) {
        return "Die Datei " + name +
               " kann nicht gelesen werden: " + engine::systemErrorReason(errno) + ".";
    }
    std::fclose(f);
    return {};
}

std::string absolute(const std::string& path) {
    std::error_code ec;
    auto p = std::filesystem::absolute(engine::paths::fsPath(path), ec);
    return ec ? path : engine::paths::utf8Of(p.lexically_normal());
}

}  // namespace

int runLegacyTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    bool overwrite = false;
    std::vector<std::string> files;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--ueberschreiben")
            overwrite = true;
        else
            files.push_back(args[i]);
    }
    const bool toCatalog = args[0] == "mv2db";
    if (files.empty() || files.size() > (toCatalog ? 1u : 2u)) {
        err << "mv32db: Aufruf: mv32db mv2db DATEI.MV [--ueberschreiben]\n"
               "               mv32db db2mv KATALOG.db [DATEI.MV] [--ueberschreiben]\n";
        return 2;
    }

    // A document of its own: settings in memory, no log, nothing of the person's program
    // folder touched.
    ConsoleUserInterface ui(err, "mv32db: ", overwrite, " (--ueberschreiben)",
                            " (ohne --ueberschreiben)");
    MemorySettingsStore store;
    const std::string programDir = platform::tempDir();
    Settings settings = Settings::defaults(programDir);
    Log log(programDir, platform::Clock::system());
    log.setEnabled(false);
    CatalogDocument doc({ui, store, settings, log, platform::Clock::system(), programDir});
    exchange::MvReader reader(doc);
    doc.legacyOpener = [&](const std::string& path, int mark) {
        reader.openAsNewCatalog(path, mark);
    };

    const std::string source = absolute(files[0]);
    if (toCatalog) {
        if (upperExtension(source) != ".MV") {
            err << "mv32db: " << source << " ist keine MV-Datei (Endung .MV).\n";
            return 2;
        }
        // The program passes over a file it cannot read without a word; here that is the
        // answer the person waits for.
        if (std::string why = unreadable(source); !why.empty()) {
            err << "mv32db: " << why << "\n";
            return 1;
        }
        // An empty legacy file stands for the table of its name, which the program opens;
        // without one there is nothing to open, and the file is the reason.
        std::error_code ec;
        engine::Table named;
        named.setTableName(catalogBase(source) + ".db");
        if (std::filesystem::file_size(engine::paths::fsPath(source), ec) == 0 && !ec &&
            !named.exists()) {
            err << "mv32db: Die Datei »" << platform::fileNameOf(source)
                << "« ist leer; eine leere MV-Datei steht für die Tabelle »"
                << platform::fileNameOf(catalogBase(source)) << ".db«, die es nicht gibt.\n";
            return 1;
        }
        doc.openLastFile(source);
        if (!ui.failed() && !doc.state().CatalogOpen)
            err << "mv32db: Aus " << source << " wurde kein Katalog.\n";
        if (ui.failed() || !doc.state().CatalogOpen) return 1;
        out << "Katalog " << doc.state().CurrentFile << " angelegt: " << doc.MV32().recordCount()
            << " Datensätze.\n";
        return 0;
    }

    if (upperExtension(source) != ".DB" ||
        !std::filesystem::exists(engine::paths::fsPath(source))) {
        err << "mv32db: Der Katalog " << source << " existiert nicht.\n";
        return 1;
    }
    std::string target = files.size() == 2 ? absolute(files[1]) : catalogBase(source) + ".MV";
    if (upperExtension(target) != ".MV") target += ".MV";
    try {
        refuseOwnFile(source, target);
    } catch (const engine::EngineError& e) {
        err << "mv32db: " << e.what() << "\n";
        return 1;
    }
    if (std::filesystem::exists(engine::paths::fsPath(target)) &&
        ui.message(MessageKind::Warnung, kOverwriteQuestion, Buttons::JaNein) != Answer::Ja)
        return 1;
    try {
        // The catalog's indexes stay as they are: the tool only reads it.
        doc.openCatalogTable(source, false, OpenWay::OpenLastDb);
    } catch (const std::exception& e) {
        ui.showApplicationError(e.what());
        return 1;
    }
    exchange::MvWriter(doc).ExportToMV(target);
    if (ui.failed()) return 1;
    out << target << " geschrieben: " << doc.MV32().recordCount() << " Datensätze.\n";
    return 0;
}

}  // namespace mv32::tools
