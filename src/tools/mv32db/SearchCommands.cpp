#include "tools/mv32db/SearchCommands.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <map>
#include <ostream>
#include <system_error>

#include "document/Settings.h"
#include "document/SettingsStore.h"
#include "engine/EngineError.h"
#include "engine/Text.h"
#include "platform/Paths.h"
#include "search/FileSearch.h"
#include "search/FullSearch.h"
#include "search/SpaceSearch.h"
#include "search/UserSql.h"
#include "tools/mv32db/TableTool.h"

namespace mv32::tools {

namespace {

// The arguments after the command: the plain ones in order, and the options "--name value"
// (or a bare flag) by name.
struct Arguments {
    std::vector<std::string> plain;
    std::map<std::string, std::string> options;
    bool statementOnly = false;
};

Arguments parse(const std::vector<std::string>& args, const std::vector<std::string>& valued,
                const std::vector<std::string>& flags) {
    Arguments a;
    auto listed = [](const std::vector<std::string>& names, const std::string& n) {
        for (const auto& x : names)
            if (x == n) return true;
        return false;
    };
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--statement") {
            a.statementOnly = true;
        } else if (arg.rfind("--", 0) == 0 && listed(valued, arg)) {
            if (i + 1 >= args.size())
                throw UsageError{"Die Option " + engine::quoted(arg) + " braucht einen Wert."};
            a.options[arg] = args[++i];
        } else if (arg.rfind("--", 0) == 0 && listed(flags, arg)) {
            a.options[arg] = "1";
        } else if (arg.rfind("--", 0) == 0 && arg.size() > 2) {
            throw UsageError{"Unbekannte Option " + engine::quoted(arg) + "."};
        } else {
            a.plain.push_back(arg);
        }
    }
    return a;
}

std::string option(const Arguments& a, const char* name) {
    auto it = a.options.find(name);
    return it == a.options.end() ? std::string() : it->second;
}

// The catalog as the statements name it: its folder, and its file name with ".db".
struct CatalogName {
    std::string folder;
    std::string file;
};

CatalogName catalogOf(const std::string& path) {
    CatalogName c;
    c.folder = platform::folderOf(path);
    if (c.folder.empty()) c.folder = "./";
    c.file = platform::fileNameOf(path);
    if (c.file.empty()) throw UsageError{"Der Name des Katalogs fehlt: " + engine::quoted(path) + "."};
    const std::string upper = engine::text::upper(c.file);
    if (upper.size() < 3 || upper.compare(upper.size() - 3, 3, ".DB") != 0) c.file += ".db";
    return c;
}

int finish(const Arguments& a, const std::shared_ptr<engine::FileSystem>& fs,
           const std::string& folder, const std::string& statement, std::ostream& out,
           std::ostream& err) {
    if (a.statementOnly) {
        out << statement << '\n';
        return 0;
    }
    return runSql(fs, folder, statement, out, err);
}

// A size in KByte as the searches compare it: a whole number whose bytes fit the 64-bit
// sizes. Anything else would silently become another criterion.
const std::string& kbyte(const std::string& text) {
    constexpr uint64_t kMost = static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) / 1024;
    uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || stop != end || value > kMost)
        throw UsageError{"Die Größe " + engine::quoted(text) +
                         " ist keine ganze Zahl von KByte zwischen 0 und " + std::to_string(kMost) +
                         "."};
    return text;
}

void expect(const Arguments& a, size_t count, const char* usage) {
    if (a.plain.size() != count) throw UsageError{usage};
}

}  // namespace

bool isSearchCommand(const std::string& c) {
    return c == "search" || c == "freespace" || c == "range" || c == "usersql" ||
           c == "filesearch";
}

int runSearchCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     const std::shared_ptr<engine::FileSystem>& fs) {
    const std::string& cmd = args[0];
    if (cmd == "search") {
        const Arguments a =
            parse(args,
                  {"--name", "--number", "--drive", "--label", "--serial", "--total", "--free",
                   "--category", "--status", "--medium"},
                  {});
        expect(a, 1, "\"search\" braucht einen Katalog.");
        search::FullSearchCriteria c;
        c.name = option(a, "--name");
        c.number = option(a, "--number");
        c.drive = option(a, "--drive");
        c.label = option(a, "--label");
        c.serial = option(a, "--serial");
        if (a.options.count("--total")) c.total = kbyte(option(a, "--total"));
        if (a.options.count("--free")) c.free = kbyte(option(a, "--free"));
        c.category = option(a, "--category");
        c.status = option(a, "--status");
        c.medium = option(a, "--medium");
        if (c.empty()) throw UsageError{"\"search\" braucht mindestens ein Suchkriterium."};
        const CatalogName cat = catalogOf(a.plain[0]);
        return finish(a, fs, cat.folder, search::fullSearchStatement(c, search::catalogInStatement(cat.file)), out, err);
    }
    if (cmd == "freespace") {
        const Arguments a = parse(args, {}, {"--with-zero"});
        expect(a, 3, "\"freespace\" braucht Katalog, more|exactly|less und die Größe in KByte.");
        search::FreeSpaceCompare compare{};
        if (a.plain[1] == "more")
            compare = search::FreeSpaceCompare::MoreThan;
        else if (a.plain[1] == "exactly")
            compare = search::FreeSpaceCompare::Exactly;
        else if (a.plain[1] == "less")
            compare = search::FreeSpaceCompare::LessThan;
        else
            throw UsageError{"Unbekannter Vergleich " + engine::quoted(a.plain[1]) +
                             " (more, exactly oder less)."};
        const std::string& kb = kbyte(a.plain[2]);
        const CatalogName cat = catalogOf(a.plain[0]);
        const std::string sql =
            search::freeSpaceStatement(compare, kb, option(a, "--with-zero").empty(),
                                       search::catalogInStatement(cat.file));
        return finish(a, fs, cat.folder, sql, out, err);
    }
    if (cmd == "range") {
        const Arguments a = parse(args, {"--medium"}, {});
        expect(a, 3, "\"range\" braucht Katalog, VON und BIS.");
        std::string message;
        switch (search::checkRange(a.plain[1], a.plain[2], &message)) {
            case search::RangeCheck::Empty:
                throw UsageError{"\"range\" braucht beide Grenzen."};
            case search::RangeCheck::NotANumber:
            case search::RangeCheck::Wrong:
                err << "mv32db: " << message << "\n";
                return 1;
            case search::RangeCheck::Ok:
                break;
        }
        const CatalogName cat = catalogOf(a.plain[0]);
        return finish(a, fs, cat.folder,
                      search::rangeStatement(a.plain[1], a.plain[2], option(a, "--medium"),
                                             search::catalogInStatement(cat.file)),
                      out, err);
    }
    if (cmd == "usersql") {
        const Arguments a = parse(args, {}, {});
        if (a.plain.empty() || a.plain.size() > 2)
            throw UsageError{"\"usersql\" braucht einen Katalog und höchstens eine Anweisung."};
        std::string statement;
        if (a.plain.size() == 2) {
            statement = a.plain[1];
        } else {
            document::IniSettingsStore store(platform::settingsFilePath());
            statement = document::readSettings(store, std::string()).UserSQL;
        }
        const CatalogName cat = catalogOf(a.plain[0]);
        return finish(a, fs, cat.folder, search::expandUserSql(statement, cat.file), out, err);
    }
    // filesearch
    const Arguments a = parse(args, {"--order"}, {});
    expect(a, 2, "\"filesearch\" braucht den Ordner der Dateiliste und einen Text.");
    const std::string order = option(a, "--order");
    search::FileOrder o = search::FileOrder::Unsorted;
    if (order == "name")
        o = search::FileOrder::Name;
    else if (order == "folder")
        o = search::FileOrder::Folder;
    else if (order == "extension")
        o = search::FileOrder::Extension;
    else if (order == "size")
        o = search::FileOrder::Size;
    else if (!order.empty())
        throw UsageError{"Unbekannte Sortierung " + engine::quoted(order) +
                         " (name, folder, extension oder size)."};
    if (a.plain[1].empty()) throw UsageError{"Der Suchtext ist leer."};
    return finish(a, fs, platform::withTrailingSeparator(a.plain[0]),
                  search::fileSearchStatement(a.plain[1], o), out, err);
}

}  // namespace mv32::tools
