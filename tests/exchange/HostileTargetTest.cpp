// Every writer of the program against hostile targets: a link or a FIFO where a temporary file
// would go, a link as the target, a private target, what a killed writer left, a second writer
// at the same time, a full disk, and the source's own files. Each time the target must be
// whole (or refused, or as it was) and nothing else touched.
//
// One table of writers, one of attacks. A writer writes the list of one of two catalogs
// (`which`), so that a second writer's result can be told from the first's.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <set>

#include "document/Catalog.h"
#include "document/DocumentFixture.h"
#include "document/SettingsStore.h"
#include "edit/CategoryTree.h"
#include "edit/PickLists.h"
#include "engine/ReplacingFile.h"
#include "engine/Table.h"
#include "exchange/DbaseExport.h"
#include "exchange/HtmlExport.h"
#include "exchange/TextExport.h"
#include "support/SmallMedium.h"
#include "tools/ToolRun.h"

namespace mv32::exchange {
namespace {

namespace fs = std::filesystem;
using Midway = std::function<void()>;

struct Writer {
    const char* name;
    const char* target;  // the target's name in a folder of its own
    // Writes the list of catalog `which` (0 or 1) to `target`; calls `midway` once while it
    // writes, where it can. Throws on failure.
    std::function<void(const std::string& target, int which, Midway midway)> write;
    // "" when `target` holds the whole list of `which`, else what is wrong.
    std::function<std::string(const std::string& target, int which)> whole;
    // The files that make up the target (a table has several).
    std::vector<std::string> extensions = {""};
    // Targets that are the source's own files, and whether the writer refused one.
    std::function<std::vector<std::string>()> ownTargets;
    std::function<bool(const std::string& target)> refused;
};

Writer writer(const char* name, const char* target,
              std::function<void(const std::string&, int, Midway)> write) {
    Writer w;
    w.name = name;
    w.target = target;
    w.write = std::move(write);
    return w;
}

class HostileTarget : public test::DocumentFixture {
protected:
    void SetUp() override {
        makeCatalog(data("kat.db"), {"Alpha", "Beta", "Gamma"}, "Spiel");
        makeCatalog(data("zwei.db"), {"Yak", "Zebra"}, "Tier");
        // mv32db finds the undo table and the file list where the person's settings say.
        ::setenv("MV32_HOME", home.path().c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
        fs::create_directories(config.file("mavrel32"));
        writeFile(config.file("mavrel32/settings.ini"),
                  "[Settings]\nDatenbankPfad=" + lists.path() + "/\n");
        makeCatalog(lists.file("mv32list.db"), {"x"});
        writers = makeWriters();
    }
    void TearDown() override {
        ::unsetenv("MV32_HOME");
        ::unsetenv("XDG_CONFIG_HOME");
        DocumentFixture::TearDown();
    }
    std::string source(int which) const { return data(which ? "zwei.db" : "kat.db"); }

    // The bytes of each file of the catalog kat, to see that it stays as it is.
    std::map<std::string, std::string> catalogFiles() const {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::directory_iterator(work.path()))
            if (e.path().stem() == "kat") files[e.path().string()] = readFile(e.path().string());
        return files;
    }

    std::string sameAs(const std::string& target, const std::string& reference, size_t skipFrom = 0,
                       size_t skip = 0) const {
        if (fs::is_symlink(target) || !fs::is_regular_file(target)) return "keine Datei";
        std::string a = readFile(target), b = reference;
        if (a.size() != b.size()) return "Größe " + std::to_string(a.size());
        for (size_t i = skipFrom; i < skipFrom + skip && i < a.size(); ++i) a[i] = b[i];
        return a == b ? "" : "anderer Inhalt";
    }

    std::vector<Writer> makeWriters();
    // Reference results, written once into a folder of their own.
    std::string reference(const Writer& w, int which) {
        const std::string key = std::string(w.name) + std::to_string(which);
        if (!references.count(key)) {
            const std::string path = refs.file(key + "_" + w.target);
            w.write(path, which, {});
            references[key] = readFile(path);
        }
        return references[key];
    }

    test::TempDir config, lists, refs;
    std::map<std::string, std::string> references;
    std::vector<Writer> writers;
};

// A writer through a table cursor of catalog `which`.
template <typename Write>
void throughCatalog(const std::string& path, Midway midway, Write&& write) {
    engine::Table t;
    t.setTableName(path);
    t.open();
    ExportProgress progress;
    progress.advanced = [&](int64_t) {
        if (auto m = std::exchange(midway, {})) m();
    };
    write(t, progress);
}

std::vector<Writer> HostileTarget::makeWriters() {
    auto tool = [](std::vector<std::string> args) {
        const tools::ToolRun r = tools::run(std::move(args));
        if (r.status != 0) throw std::runtime_error(r.err);
    };
    auto refusedBy = [](std::vector<std::string> args) {
        const tools::ToolRun r = tools::run(std::move(args));
        return r.status == 1 && r.err.find("wird nicht überschrieben") != std::string::npos;
    };
    auto ownFiles = [this] {
        const std::string linked = work.path() + "-verweis";
        fs::create_directory_symlink(work.path(), linked);
        fs::create_symlink(data("kat.db"), data("verweis.txt"));
        fs::create_hard_link(data("kat.mb"), data("hart.txt"));
        return std::vector<std::string>{data("kat.db"),       data("kat.mb"),
                                        data("KAT.PX"),       linked + "/kat.db",
                                        data("verweis.txt"),  data("hart.txt"),
                                        home.file("Undo.db"), lists.file("mv32list.chk")};
    };
    std::vector<Writer> all;
    all.push_back(writer("Text", "liste.txt", [this](const std::string& t, int which, Midway m) {
        throughCatalog(source(which), m, [&](engine::Cursor& c, auto& p) {
            writeTextExport(c, ExportSource::Catalog, {}, t, p);
        });
    }));
    all.back().ownTargets = ownFiles;
    all.back().refused = [this, refusedBy](const std::string& t) {
        return refusedBy({"export", "text", data("kat.db"), t});
    };
    all.push_back(writer("HTML", "seite.html", [this](const std::string& t, int which, Midway m) {
        ExportChoice one;
        one.split = false;
        throughCatalog(source(which), m,
                       [&](engine::Cursor& c, auto& p) { writeHtmlExport(c, one, t, p); });
    }));
    all.back().ownTargets = ownFiles;
    all.back().refused = [this, refusedBy](const std::string& t) {
        return refusedBy({"export", "html", data("kat.db"), t, "--no-split"});
    };
    all.push_back(writer("dBase", "tabelle.dbf", [this](const std::string& t, int which, Midway) {
        throughCatalog(source(which), {},
                       [&](engine::Cursor& c, auto&) { writeDbaseExport(c, t); });
    }));
    all.back().whole = [this, w = all.size() - 1](const std::string& t, int which) {
        return sameAs(t, reference(writers[w], which), 1, 3);  // the day of writing
    };
    all.back().ownTargets = ownFiles;
    all.back().refused = [this, refusedBy](const std::string& t) {
        return refusedBy({"export", "dbase", data("kat.db"), t});
    };
    if (fs::exists(fs::read_symlink("/proc/self/exe").parent_path() / "mv32db-pdf")) {
        all.push_back(
            writer("PDF", "liste.pdf", [this, tool](const std::string& t, int which, Midway) {
                tool({"print", source(which), t});
            }));
        all.back().whole = [this](const std::string& t, int) -> std::string {
            if (fs::is_symlink(t)) return "ein Verweis";
            const std::string pdf = readFile(t);
            const bool ok = pdf.rfind("%PDF-", 0) == 0 &&
                            pdf.find("%%EOF", pdf.size() - 8) != std::string::npos;
            return ok ? "" : "kein ganzes PDF";
        };
        all.back().ownTargets = ownFiles;
        all.back().refused = [this, refusedBy](const std::string& t) {
            return refusedBy({"print", data("kat.db"), t});
        };
    }
    all.push_back(writer(".MV", "alt.MV", [this, tool](const std::string& t, int which, Midway) {
        tool({"db2mv", source(which), t, "--ueberschreiben"});
    }));
    all.back().whole = [this, w = all.size() - 1](const std::string& t, int which) {
        return sameAs(t, reference(writers[w], which), 3, 6);  // the time of writing
    };
    all.back().ownTargets = [this] {
        fs::create_symlink(data("kat.db"), data("verweis.MV"));
        return std::vector<std::string>{data("verweis.MV")};
    };
    all.back().refused = [this, refusedBy](const std::string& t) {
        return refusedBy({"db2mv", data("kat.db"), t, "--ueberschreiben"});
    };
    all.push_back(writer("Liste", "KATLIST.TXT", [](const std::string& t, int which, Midway) {
        edit::writeListText(t, which ? "Tier\nPflanze\n" : "Spiel\n");
    }));
    all.push_back(writer(".TRE", "baum.tre", [this](const std::string& t, int which, Midway) {
        const std::string from = refs.file(std::to_string(which) + ".tre");
        writeFile(from, which ? "Tier\r\n\tYak\r\n" : "Spiel\r\n\tAlpha\r\n");
        edit::CategoryTree tree(*doc, program->catalogSource());
        tree.loadFrom(from);
        tree.saveTo(t);
    }));
    all.push_back(
        writer("Einstellungen", "settings.ini", [](const std::string& t, int which, Midway) {
            document::IniSettingsStore(t).write("Settings",
                                                {{"UserSQL", which ? "SELECT 2" : "SELECT 1"}});
        }));
    // "Speichern unter" and the backup copy the table's files.
    all.push_back(
        writer("Tabellenkopie", "ziel.db", [this](const std::string& t, int which, Midway m) {
            engine::Table table;
            table.setTableName(source(which));
            table.copyTo(t, {}, [&](int64_t) {
                if (auto mid = std::exchange(m, {})) mid();
            });
        }));
    all.back().whole = [this](const std::string& t, int which) -> std::string {
        const std::string base = t.substr(0, t.size() - 3);
        const std::string from = source(which).substr(0, source(which).size() - 3);
        for (const char* e : {".db", ".px", ".mb"})
            if (auto why = sameAs(base + e, readFile(from + e)); !why.empty())
                return std::string(e) + ": " + why;
        return "";
    };
    all.back().extensions = {".db", ".px", ".mb"};
    all.back().ownTargets = [this] {
        const std::string linked = work.path() + "-ordner";
        fs::create_directory_symlink(work.path(), linked);
        return std::vector<std::string>{linked + "/kat.db"};
    };
    all.back().refused = [this](const std::string& t) {
        engine::Table table;
        table.setTableName(data("kat.db"));
        try {
            table.copyTo(t);
        } catch (const engine::EngineError&) {
            return true;
        }
        return false;
    };
    for (size_t i = 0; i < all.size(); ++i) {
        if (all[i].whole) continue;
        all[i].whole = [this, i](const std::string& t, int which) {
            return sameAs(t, reference(writers[i], which));
        };
    }
    return all;
}

// The files of the target `t` of `w`.
std::vector<std::string> filesOf(const Writer& w, const std::string& t) {
    std::vector<std::string> files;
    const std::string base = w.extensions.size() > 1 ? t.substr(0, t.size() - 3) : t;
    for (const auto& e : w.extensions) files.push_back(base + e);
    return files;
}

std::set<std::string> entriesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
    return names;
}

std::set<std::string> namesOf(const std::vector<std::string>& files) {
    std::set<std::string> names;
    for (const auto& f : files) names.insert(fs::path(f).filename().string());
    return names;
}

// Names a killed or planted writer's temporary files had or might have.
const char* const kTemporaryNames[] = {".~exp", ".neu", ".kopie", ".~zzzzzz"};

}  // namespace

TEST_F(HostileTarget, LinksAndFifosWhereTemporaryFilesGoAreNeverWrittenThrough) {
    for (const Writer& w : writers) {
        SCOPED_TRACE(w.name);
        for (const bool fifo : {false, true}) {
            test::TempDir dir;
            const std::string target = dir.file(w.target);
            writeFile(dir.file("opfer"), "geheim");
            for (const auto& f : filesOf(w, target))
                for (const char* t : kTemporaryNames) {
                    if (fifo)
                        ASSERT_EQ(::mkfifo((f + t).c_str(), 0600), 0);
                    else
                        fs::create_symlink(dir.file("opfer"), f + t);
                }
            w.write(target, 0, {});
            EXPECT_EQ(w.whole(target, 0), "");
            EXPECT_EQ(readFile(dir.file("opfer")), "geheim");
            for (const auto& f : filesOf(w, target))
                for (const char* t : kTemporaryNames) {
                    const auto kind = fs::symlink_status(f + t).type();
                    EXPECT_EQ(kind, fifo ? fs::file_type::fifo : fs::file_type::symlink) << f + t;
                }
        }
    }
}

TEST_F(HostileTarget, ALinkAsTheTargetIsReplacedAndWhatItLedToStays) {
    for (const Writer& w : writers) {
        SCOPED_TRACE(w.name);
        test::TempDir dir;
        const std::string target = dir.file(w.target);
        int n = 0;
        for (const auto& f : filesOf(w, target)) {
            writeFile(dir.file("opfer" + std::to_string(++n)), "geheim");
            fs::create_symlink(dir.file("opfer" + std::to_string(n)), f);
        }
        w.write(target, 0, {});
        EXPECT_EQ(w.whole(target, 0), "");
        for (int i = 1; i <= n; ++i)
            EXPECT_EQ(readFile(dir.file("opfer" + std::to_string(i))), "geheim");
    }
}

TEST_F(HostileTarget, APrivateTargetStaysPrivateAndLeftoversOfAKilledWriterGo) {
    for (const Writer& w : writers) {
        SCOPED_TRACE(w.name);
        test::TempDir dir;
        const std::string target = dir.file(w.target);
        w.write(target, 1, {});
        for (const auto& f : filesOf(w, target)) {
            fs::permissions(f, fs::perms::owner_read | fs::perms::owner_write);
            writeFile(f + ".~abc123", "halb");              // a killed writer's, without its lock
            fs::create_symlink(dir.path(), f + ".~verw1");  // not a file: not touched
        }
        w.write(target, 0, {});
        EXPECT_EQ(w.whole(target, 0), "");
        std::set<std::string> left = namesOf(filesOf(w, target));
        for (const auto& f : filesOf(w, target)) {
            EXPECT_EQ(fs::status(f).permissions(), fs::perms::owner_read | fs::perms::owner_write)
                << f;
            left.insert(fs::path(f + ".~verw1").filename().string());
        }
        EXPECT_EQ(entriesIn(dir.path()), left);
    }
}

TEST_F(HostileTarget, TwoWritersAtOnceLeaveOneWholeResult) {
    for (const Writer& w : writers) {
        SCOPED_TRACE(w.name);
        test::TempDir dir;
        const std::string target = dir.file(w.target);
        // A second writer that starts and ends while the first one writes: the first one, which
        // ends last, wins whole (or the second was refused).
        w.write(target, 0, [&] {
            try {
                w.write(target, 1, {});
            } catch (const std::exception&) {
            }
        });
        EXPECT_EQ(w.whole(target, 0), "");
        EXPECT_EQ(entriesIn(dir.path()), namesOf(filesOf(w, target)));
        if (w.extensions.size() > 1) continue;
        // A writer that is still writing keeps its file, and wins when it ends last.
        engine::ReplacingFile other(engine::FileSystem::real(), target);
        other.write(0, "später");
        w.write(target, 1, {});
        EXPECT_EQ(w.whole(target, 1), "");
        other.commit();
        EXPECT_EQ(readFile(target), "später");
        EXPECT_EQ(entriesIn(dir.path()), namesOf({target}));
    }
}

TEST_F(HostileTarget, AFullDiskLeavesTheOldTargetAndNothingBeside) {
    for (const Writer& w : writers) {
        SCOPED_TRACE(w.name);
        test::SmallMedium small(1 << 20);
        if (!small.available()) GTEST_SKIP() << small.whyNot();
        const std::string target = small.file(w.target);
        w.write(target, 1, {});
        small.resize(small.used());  // not a block more
        EXPECT_ANY_THROW(w.write(target, 0, {}));
        EXPECT_EQ(w.whole(target, 1), "");
        EXPECT_EQ(entriesIn(small.path()), namesOf(filesOf(w, target)));
    }
}

TEST_F(HostileTarget, TheSourcesOwnFilesAreRefusedHoweverSpelled) {
    for (const Writer& w : writers) {
        if (!w.ownTargets) continue;
        SCOPED_TRACE(w.name);
        const auto before = catalogFiles();
        for (const auto& t : w.ownTargets()) {
            const bool existed = fs::exists(fs::symlink_status(t));
            EXPECT_TRUE(w.refused(t)) << t;
            EXPECT_EQ(existed, fs::exists(fs::symlink_status(t))) << t;
        }
        EXPECT_EQ(catalogFiles(), before);
        std::error_code ec;
        for (const char* planted : {"verweis.txt", "hart.txt", "verweis.MV"})
            fs::remove(data(planted), ec);
        fs::remove(work.path() + "-verweis", ec);
        fs::remove(work.path() + "-ordner", ec);
    }
}

}  // namespace mv32::exchange
