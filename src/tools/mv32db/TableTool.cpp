#include "tools/mv32db/TableTool.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <istream>
#include <new>
#include <ostream>

#include "engine/DbfTable.h"
#include "engine/EngineError.h"
#include "engine/PathNames.h"
#include "engine/Query.h"
#include "engine/Table.h"
#include "engine/Text.h"
#include "tools/mv32db/ExportTool.h"
#include "tools/mv32db/ImportCommand.h"
#include "tools/mv32db/LegacyTool.h"
#include "tools/mv32db/SearchCommands.h"

namespace mv32::tools {

using engine::EngineError;
using engine::FieldDef;
using engine::FieldType;
using engine::Table;
using engine::Value;

namespace {

const char* kUsage =
    "Aufruf: mv32db BEFEHL TABELLE [...]\n"
    "\n"
    "  info   TABELLE                        Felder, Indizes, Anzahl und Dateien zeigen\n"
    "  check  TABELLE                        vollständig prüfen (Exit-Status 0 nur wenn "
    "fehlerfrei)\n"
    "  create TABELLE FELD:TYP[:BREITE] ... [--ueberschreiben]\n"
    "                                        Tabelle anlegen; TYP: text, int16, int32, int64, "
    "memo, blob\n"
    "  import TABELLE [--skip-existing] [DATEI]\n"
    "                                        tabulatorgetrennte Zeilen anhängen (ohne DATEI: "
    "Standardeingabe)\n"
    "  dump   TABELLE [INDEX]                Datensätze tabulatorgetrennt ausgeben (auch .DBF)\n"
    "  index  add TABELLE NAME FELD[;FELD...] [ci] [desc] [unique]\n"
    "  index  drop TABELLE NAME\n"
    "  index  select TABELLE NAME            Reihenfolge eines Index prüfen und zeigen\n"
    "  pack   TABELLE                        ohne freien Platz neu schreiben\n"
    "  empty  TABELLE                        alle Datensätze löschen\n"
    "  regen  TABELLE                        alle Indizes neu aufbauen (mit dem Trigrammindex)\n"
    "  sql    ORDNER \"SELECT ...\"            Abfrage im Ordner ausführen, Ergebnis mit "
    "Kopfzeile\n"
    "                                        (wie gelesen wurde: \"Plan:\" auf der "
    "Fehlerausgabe)\n"
    "  mv2db  DATEI.MV [--ueberschreiben]     MV-Datei in den Katalog DATEI.db umwandeln\n"
    "  db2mv  KATALOG.db [DATEI.MV] [--ueberschreiben]\n"
    "                                        Katalog als MV-Datei schreiben\n"
    "\n"
    "Suchen (Ergebnis wie bei sql; --statement zeigt nur die Anweisung):\n"
    "  search     KATALOG.db [--name T] [--number N] [--drive L] [--label T] [--serial T]\n"
    "                        [--total KB] [--free KB] [--category T] [--status T] [--medium T]\n"
    "  freespace  KATALOG.db more|exactly|less KB [--with-zero]\n"
    "  range      KATALOG.db VON BIS [--medium T]\n"
    "  usersql    KATALOG.db [ANWEISUNG]           (ohne ANWEISUNG: die Einstellung UserSQL)\n"
    "  filesearch ORDNER TEXT [--order name|folder|extension|size]\n"
    "\n"
    "Exportieren und Zusammenführen (das Ziel wird so geschrieben, wie es genannt ist):\n"
    "  export text  KATALOG.db ZIEL.TXT  [--fields F,...] [--query \"SELECT ...\"]\n"
    "  export html  KATALOG.db ZIEL.HTML [--fields F,...] [--no-split]\n"
    "  export dbase KATALOG.db ZIEL.DBF\n"
    "  merge        KATALOG.db QUELLE.db\n"
    "  print        KATALOG.db ZIEL.pdf [--margin MM] [--columns N] [--paper "
    "A3|A4|A5|Legal|Letter]\n"
    "                                   [--query \"SELECT ...\"]\n"
    "  FELDER: medium, number, count, info, status, category, date, memo (nur html)\n"
    "\n"
    "TABELLE ist der Pfad der .db-Datei (die Endung darf fehlen). Ein leerer INDEX-Name (\"\")\n"
    "bei \"index add\" legt den Primärindex an. Leere Werte schreibt dump als \\N.\n";

std::unique_ptr<Table> tableAt(const std::shared_ptr<engine::FileSystem>& fs,
                               const std::string& path, bool exclusive) {
    auto t = std::make_unique<Table>(fs);
    const std::string folder = engine::paths::folderOf(path);
    t->setDirectory(folder.empty() ? std::string(".") : folder);
    t->setTableName(engine::paths::fileNameOf(path));
    t->setExclusive(exclusive);
    return t;
}

FieldDef parseFieldDef(const std::string& definition) {
    auto a = definition.find(':');
    if (a == std::string::npos || a == 0)
        throw UsageError{"Felddefinition " + engine::quoted(definition) + " ist unvollständig."};
    FieldDef f;
    f.name = definition.substr(0, a);
    std::string rest = definition.substr(a + 1);
    std::string type = rest, width;
    auto b = rest.find(':');
    if (b != std::string::npos) {
        type = rest.substr(0, b);
        width = rest.substr(b + 1);
    }
    if (type == "text")
        f.type = FieldType::Text;
    else if (type == "int16")
        f.type = FieldType::Int16;
    else if (type == "int32")
        f.type = FieldType::Int32;
    else if (type == "int64")
        f.type = FieldType::Int64;
    else if (type == "memo")
        f.type = FieldType::Memo;
    else if (type == "blob")
        f.type = FieldType::Blob;
    else
        throw UsageError{"Unbekannter Feldtyp " + engine::quoted(type) + "."};
    if (f.type == FieldType::Text) {
        if (width.empty())
            throw UsageError{"Das Textfeld " + engine::quoted(f.name) + " braucht eine Breite."};
        auto [end, ec] = std::from_chars(width.data(), width.data() + width.size(), f.width);
        if (ec != std::errc() || end != width.data() + width.size())
            throw UsageError{"Ungültige Breite " + engine::quoted(width) + "."};
    } else if (b != std::string::npos) {
        throw UsageError{"Nur Textfelder haben eine Breite: " + engine::quoted(definition) + "."};
    }
    return f;
}

std::string optionsText(unsigned o) {
    std::string s;
    if (o & engine::IndexCaseInsensitive) s += " ci";
    if (o & engine::IndexDescending) s += " desc";
    if (o & engine::IndexUnique) s += " unique";
    return s;
}

int info(Table& t, std::ostream& out, std::ostream& err) {
    t.open();
    reportNotices(t, err);
    out << "Tabelle: " << t.filePath() << (t.readOnly() ? " (nur lesbar)" : "") << "\n";
    out << "Datensätze: " << t.recordCount() << "\n";
    out << "Felder:\n";
    for (int i = 0; i < t.fieldCount(); ++i) {
        const FieldDef& f = t.fieldDef(i);
        out << "  " << f.name << "\t" << engine::typeName(f.type);
        if (f.type == FieldType::Text) out << "\t" << f.width;
        out << "\n";
    }
    out << "Indizes:\n";
    auto ix = t.indexes();
    auto missing = t.missingIndexes();
    if (ix.empty() && missing.empty()) out << "  (keine)\n";
    for (auto& i : ix) {
        out << "  " << (i.name.empty() ? std::string("(Primärindex)") : i.name) << "\t" << i.fields
            << optionsText(i.options) << "\t" << i.file << "\n";
    }
    for (auto& name : missing) out << "  " << name << "\t(Datei fehlt)\n";
    out << "Dateien:\n";
    for (auto& f : t.files()) out << "  " << f << "\n";
    t.close();
    return 0;
}

void writeRows(engine::Cursor& c, std::ostream& out) {
    for (c.first(); !c.eof(); c.next()) {
        for (int i = 0; i < c.fieldCount(); ++i) {
            if (i) out << '\t';
            out << formatField(c.value(i));
        }
        out << '\n';
    }
}

int dump(Table& t, const std::string& index, std::ostream& out, std::ostream& err) {
    t.setIndexName(index);
    t.open();
    reportNotices(t, err);
    writeRows(t, out);
    t.close();
    return 0;
}

int runSqlIn(const std::shared_ptr<engine::FileSystem>& fs, const std::string& folder,
             const std::string& statement, std::ostream& out, std::ostream& err) {
    engine::Query q(fs);
    q.setDirectory(folder);
    q.setSql(statement);
    q.open();
    for (auto& n : q.takeNotices()) err << "mv32db: Hinweis: " << n << "\n";
    // How the table was read (which index, a range, a sort) goes beside the result, so that
    // the result stays as scripts read it.
    err << "mv32db: Plan: " << q.plan() << "\n";
    for (int i = 0; i < q.fieldCount(); ++i) {
        if (i) out << '\t';
        out << formatField(Value(q.fieldDef(i).name));
    }
    out << '\n';
    writeRows(q, out);
    return 0;
}

int indexCommand(const std::shared_ptr<engine::FileSystem>& fs, const std::vector<std::string>& a,
                 std::ostream& out, std::ostream& err) {
    if (a.size() < 4) throw UsageError{"\"index\" braucht Unterbefehl, Tabelle und Namen."};
    const std::string& sub = a[1];
    if (sub == "add") {
        if (a.size() < 5) throw UsageError{"\"index add\" braucht die Felder."};
        unsigned options = 0;
        for (size_t i = 5; i < a.size(); ++i) {
            if (a[i] == "ci")
                options |= engine::IndexCaseInsensitive;
            else if (a[i] == "desc")
                options |= engine::IndexDescending;
            else if (a[i] == "unique")
                options |= engine::IndexUnique;
            else
                throw UsageError{"Unbekannte Indexoption " + engine::quoted(a[i]) + "."};
        }
        auto t = tableAt(fs, a[2], true);
        t->addIndex(a[3], a[4], options);
        out << (a[3].empty() ? std::string("Primärindex") : "Index " + engine::quoted(a[3]))
            << " angelegt.\n";
        return 0;
    }
    if (sub == "drop") {
        auto t = tableAt(fs, a[2], true);
        t->deleteIndex(a[3]);
        out << "Index " << engine::quoted(a[3]) << " gelöscht.\n";
        return 0;
    }
    if (sub == "select") {
        auto t = tableAt(fs, a[2], false);
        t->setIndexName(a[3]);
        t->open();
        reportNotices(*t, err);
        out << "Index " << engine::quoted(a[3]) << ": " << t->recordCount() << " Datensätze";
        if (t->recordCount() > 0) {
            t->first();
            out << ", erster: " << formatField(t->value(0));
            t->last();
            out << ", letzter: " << formatField(t->value(0));
        }
        out << "\n";
        return 0;
    }
    throw UsageError{"Unbekannter Unterbefehl " + engine::quoted(sub) + "."};
}

// What went wrong outside the engine, in the same German words: a path the system refused.
std::string describe(const std::filesystem::filesystem_error& e) {
    std::string what = "Der Zugriff auf " + engine::quoted(e.path1().string());
    if (!e.path2().empty()) what += " und " + engine::quoted(e.path2().string());
    return what + " ist fehlgeschlagen: " + engine::systemErrorReason(e.code().value()) + ".";
}

std::string tableFileName(const Table& t) {
    std::string p = t.filePath();
    return engine::paths::fileNameOf(p);
}

}  // namespace

int runSql(const std::shared_ptr<engine::FileSystem>& fs, const std::string& folder,
           const std::string& statement, std::ostream& out, std::ostream& err) {
    return runSqlIn(fs, folder, statement, out, err);
}

void reportNotices(engine::Table& t, std::ostream& err) {
    for (auto& n : t.takeNotices()) err << "mv32db: Hinweis: " << n << "\n";
    std::string waiting = t.waitingLog();
    if (!waiting.empty()) err << "mv32db: Hinweis: " << waiting << "\n";
}

std::string formatField(const Value& v) {
    if (v.isBlank()) return "\\N";
    std::string s = v.displayText();
    // Most values need no escape: they are passed on as they are.
    auto plain = [](char ch) {
        auto c = static_cast<unsigned char>(ch);
        return c >= 0x20 && c != 0x7F && c != '\\';
    };
    if (std::all_of(s.begin(), s.end(), plain)) return s;
    std::string out;
    out.reserve(s.size() + 8);
    for (char ch : s) {
        auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    static const char* hex = "0123456789ABCDEF";
                    out += "\\x";
                    out += hex[c >> 4];
                    out += hex[c & 15];
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out;
}

bool parseField(std::string_view text, Value* v) {
    if (text == "\\N") {
        *v = Value();
        return true;
    }
    // Most values hold no escape at all.
    if (text.find('\\') == std::string_view::npos) {
        *v = Value(std::string(text));
        return true;
    }
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i >= text.size()) return false;
        switch (text[i]) {
            case '\\':
                out += '\\';
                break;
            case 't':
                out += '\t';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 'x': {
                if (i + 2 >= text.size()) return false;
                int value = 0;
                for (int k = 1; k <= 2; ++k) {
                    char c = text[i + static_cast<size_t>(k)];
                    value *= 16;
                    if (c >= '0' && c <= '9')
                        value += c - '0';
                    else if (c >= 'A' && c <= 'F')
                        value += c - 'A' + 10;
                    else if (c >= 'a' && c <= 'f')
                        value += c - 'a' + 10;
                    else
                        return false;
                }
                out += static_cast<char>(value);
                i += 2;
                break;
            }
            default:
                return false;
        }
    }
    *v = Value(std::move(out));
    return true;
}

int runTableTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                 std::ostream& err, std::shared_ptr<engine::FileSystem> fs) {
    try {
        if (args.empty() || args[0] == "-h" || args[0] == "--help" || args[0] == "hilfe") {
            (args.empty() ? err : out) << kUsage;
            return args.empty() ? 2 : 0;
        }
        const std::string& cmd = args[0];
        if (cmd == "mv2db" || cmd == "db2mv") return runLegacyTool(args, out, err);
        if (cmd == "index") return indexCommand(fs, args, out, err);
        if (args.size() < 2)
            throw UsageError{"Der Befehl " + engine::quoted(cmd) + " braucht eine Tabelle."};
        const std::string& path = args[1];
        if (isSearchCommand(cmd)) return runSearchCommand(args, out, err, fs);
        if (isExportCommand(cmd)) return runExportCommand(args, out, err);
        if (cmd != "sql") {
            auto t = tableAt(fs, path, false);
            if (t->tableName().empty() || engine::text::upper(t->tableName()) == ".DB")
                throw UsageError{"Der Name der Tabelle fehlt: " + engine::quoted(path) + "."};
        }
        if (cmd == "info") {
            auto t = tableAt(fs, path, false);
            return info(*t, out, err);
        }
        if (cmd == "check") {
            auto t = tableAt(fs, path, false);
            t->open();
            // What the open found and mended (a log of other files, an index file that was
            // missing) is a finding of the check too.
            auto notices = t->takeNotices();
            for (auto& n : notices) err << "mv32db: Hinweis: " << n << "\n";
            auto r = t->checkIntegrity();
            // A log that waits for room is no fault: the check read the table through it.
            std::string waiting = t->waitingLog();
            if (!waiting.empty()) err << "mv32db: Hinweis: " << waiting << "\n";
            if (!notices.empty()) {
                out << "Geprüft: " << r.records << " Datensätze, " << r.pages
                    << " Seiten; siehe die Hinweise.\n";
                return 1;
            }
            out << "In Ordnung: " << r.records << " Datensätze, " << r.pages << " Seiten.\n";
            return 0;
        }
        if (cmd == "create") {
            bool overwrite = false;
            std::vector<FieldDef> defs;
            for (size_t i = 2; i < args.size(); ++i) {
                if (args[i] == "--ueberschreiben")
                    overwrite = true;
                else
                    defs.push_back(parseFieldDef(args[i]));
            }
            if (defs.empty()) throw UsageError{"\"create\" braucht mindestens ein Feld."};
            auto t = tableAt(fs, path, false);
            if (t->exists() && !overwrite) {
                throw EngineError(engine::ErrorKind::Exists,
                                  "Die Tabelle " + engine::quoted(tableFileName(*t)) +
                                      " gibt es schon; mit --ueberschreiben wird sie mit allen "
                                      "Datensätzen durch eine leere ersetzt.");
            }
            t->setFieldDefs(defs);
            t->createTable();
            out << "Tabelle " << t->filePath() << " angelegt.\n";
            return 0;
        }
        if (cmd == "import") {
            bool skip = false;
            std::string file;
            for (size_t i = 2; i < args.size(); ++i) {
                if (args[i] == "--skip-existing")
                    skip = true;
                else if (file.empty())
                    file = args[i];
                else
                    throw UsageError{"Zu viele Argumente für \"import\"."};
            }
            auto t = tableAt(fs, path, false);
            if (file.empty()) return importRows(*t, skip, *in.rdbuf(), out, err);
            InputFile source(file);
            return importRows(*t, skip, source, out, err);
        }
        if (cmd == "dump") {
            if (args.size() > 3) throw UsageError{"Zu viele Argumente für \"dump\"."};
            if (path.size() > 4 && engine::text::upper(path.substr(path.size() - 4)) == ".DBF") {
                if (args.size() == 3) throw UsageError{"dBase-Tabellen haben hier keine Indizes."};
                engine::DbfTable d(fs);
                d.setPath(path);
                d.open();
                writeRows(d, out);
                return 0;
            }
            auto t = tableAt(fs, path, false);
            return dump(*t, args.size() == 3 ? args[2] : std::string(), out, err);
        }
        if (cmd == "sql") {
            if (args.size() != 3)
                throw UsageError{"\"sql\" braucht einen Ordner und eine Anweisung."};
            return runSqlIn(fs, path, args[2], out, err);
        }
        if (cmd == "pack" || cmd == "empty" || cmd == "regen") {
            auto t = tableAt(fs, path, true);
            if (cmd == "regen") {
                t->open();
                t->regenerateIndexes();
                t->close();
                out << "Indizes neu aufgebaut.\n";
            } else if (cmd == "pack") {
                t->packTable();
                out << "Tabelle gepackt.\n";
            } else {
                t->emptyTable();
                out << "Tabelle geleert.\n";
            }
            return 0;
        }
        throw UsageError{"Unbekannter Befehl " + engine::quoted(cmd) + "."};
    } catch (const UsageError& u) {
        err << "mv32db: " << u.message << "\n\n" << kUsage;
        return 2;
    } catch (const EngineError& e) {
        err << "mv32db: " << e.what() << "\n";
        return 1;
    } catch (const std::filesystem::filesystem_error& e) {
        err << "mv32db: " << describe(e) << "\n";
        return 1;
    } catch (const std::bad_alloc&) {
        err << "mv32db: Für diesen Befehl reicht der Arbeitsspeicher nicht.\n";
        return 1;
    } catch (const std::exception& e) {
        err << "mv32db: Unerwarteter Fehler: " << e.what() << "\n";
        return 1;
    } catch (...) {
        err << "mv32db: Unerwarteter Fehler ohne Beschreibung.\n";
        return 1;
    }
}

}  // namespace mv32::tools
