#include "tools/mv32db/ExportTool.h"

#include <ostream>
#include <stdexcept>

#include "document/OwnFiles.h"
#include "document/Settings.h"
#include "document/SettingsStore.h"
#include "engine/EngineError.h"
#include "engine/Query.h"
#include "engine/Table.h"
#include "exchange/DbaseExport.h"
#include "exchange/HtmlExport.h"
#include "exchange/TextExport.h"
#include "platform/Paths.h"
#include "report/ReportLayout.h"
#include "tools/mv32db/PdfHelper.h"
#include "tools/mv32db/TableTool.h"

namespace mv32::tools {

namespace {

std::vector<std::string> splitList(const std::string& list) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : list) {
        if (c == ',') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else if (c != ' ') {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

// The catalog, opened for reading in name order.
void openCatalog(engine::Table& t, const std::string& path) {
    std::string folder = platform::folderOf(path);
    t.setDirectory(folder.empty() ? "./" : folder);
    t.setTableName(platform::fileNameOf(path));
    t.setIndexName("");
    t.open();
}

}  // namespace

void refuseOwnFile(const std::string& catalog, const std::string& target) {
    document::OwnFiles own;
    own.table = catalog;
    own.programFolder = platform::programDir();
    own.fileListFolder = own.programFolder;
    try {
        document::IniSettingsStore store(platform::settingsFilePath());
        own.fileListFolder = document::readSettings(store, own.programFolder).DatenbankPfad;
    } catch (const std::exception&) {  // settings that cannot be read: the program's default
    }
    const std::string refusal = document::ownFileRefusal(target, own);
    if (!refusal.empty()) throw engine::EngineError(engine::ErrorKind::Usage, refusal);
}

bool isExportCommand(const std::string& command) {
    return command == "export" || command == "merge" || command == "print";
}

namespace {

int printCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() < 3) throw UsageError{"\"print\" braucht den Katalog und die PDF-Datei."};
    std::string margin = "15", columns = "2", query;
    report::Paper paper = report::Paper::A4;
    for (size_t i = 3; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (i + 1 >= args.size())
            throw UsageError{"Die Option " + engine::quoted(a) + " braucht einen Wert."};
        const std::string& v = args[++i];
        if (a == "--margin") {
            margin = v;
        } else if (a == "--columns") {
            columns = v;
        } else if (a == "--query") {
            query = v;
        } else if (a == "--paper") {
            const std::pair<const char*, report::Paper> papers[] = {
                {"A3", report::Paper::A3},
                {"A4", report::Paper::A4},
                {"A5", report::Paper::A5},
                {"Legal", report::Paper::Legal},
                {"Letter", report::Paper::Letter}};
            bool known = false;
            for (const auto& [name, p] : papers)
                if (v == name) paper = p, known = true;
            if (!known)
                throw UsageError{"Unbekanntes Papier " + engine::quoted(v) +
                                 " (A3, A4, A5, Legal, Letter)."};
        } else {
            throw UsageError{"Die Option " + engine::quoted(a) + " gibt es bei \"print\" nicht."};
        }
    }
    report::ReportSettings settings;
    try {
        settings = report::readSettings(margin, columns, paper, report::sizeOf(paper));
    } catch (const std::invalid_argument& e) {
        throw UsageError{e.what()};
    }
    refuseOwnFile(args[1], args[2]);
    const PdfWriter write = pdfWriter();
    if (!write) return runPdfHelper(args, out, err);  // the painting is the helper's
    engine::Table catalog;
    openCatalog(catalog, args[1]);
    int pages = 0;
    if (!query.empty()) {
        engine::Query q;
        q.setDirectory(catalog.directory());
        q.useTable(catalog);
        q.setSql(query);
        q.open();
        pages = write(q, settings, args[2]);
        q.close();
    } else {
        pages = write(catalog, settings, args[2]);
    }
    catalog.close();
    out << pages << (pages == 1 ? " Seite" : " Seiten") << " geschrieben.\n";
    return 0;
}

}  // namespace

int runExportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args[0] == "print") return printCommand(args, out, err);
    if (args[0] == "merge") {
        if (args.size() != 3) throw UsageError{"\"merge\" braucht den Katalog und die Quelle."};
        engine::Table catalog;
        openCatalog(catalog, args[1]);
        const auto r = exchange::mergeCatalog(catalog, args[2]);
        catalog.close();
        out << r.appended << " Datensätze hinzugefügt, " << r.updated << " ersetzt.\n";
        return 0;
    }
    if (args.size() < 4)
        throw UsageError{
            "\"export\" braucht die Art (text, html, dbase), den Katalog und das Ziel."};
    const std::string& kind = args[1];
    if (kind != "text" && kind != "html" && kind != "dbase")
        throw UsageError{"Unbekannte Exportart " + engine::quoted(kind) + " (text, html, dbase)."};
    exchange::ExportChoice choice;
    std::string query;
    for (size_t i = 4; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool valued = a == "--fields" || a == "--query";
        if (valued && i + 1 >= args.size())
            throw UsageError{"Die Option " + engine::quoted(a) + " braucht einen Wert."};
        if (a == "--fields" && kind != "dbase") {
            std::string bad;
            if (!exchange::chooseFields(splitList(args[++i]), kind == "html", &choice, &bad))
                throw UsageError{"Unbekanntes Feld " + engine::quoted(bad) + " bei --fields."};
        } else if (a == "--query" && kind == "text") {
            query = args[++i];
        } else if (a == "--no-split" && kind == "html") {
            choice.split = false;
        } else {
            throw UsageError{"Die Option " + engine::quoted(a) + " gibt es bei \"export " + kind +
                             "\" nicht."};
        }
    }
    const std::string& target = args[3];
    refuseOwnFile(args[2], target);
    engine::Table catalog;
    openCatalog(catalog, args[2]);
    if (kind == "dbase") {
        exchange::writeDbaseExport(catalog, target);
    } else if (kind == "html") {
        exchange::writeHtmlExport(catalog, choice, target);
    } else if (!query.empty()) {
        engine::Query q;
        q.setDirectory(catalog.directory());
        q.useTable(catalog);
        q.setSql(query);
        q.open();
        exchange::writeTextExport(q, exchange::ExportSource::Result, choice, target);
        q.close();
    } else {
        exchange::writeTextExport(catalog, exchange::ExportSource::Catalog, choice, target);
    }
    catalog.close();
    return 0;
}

}  // namespace mv32::tools
