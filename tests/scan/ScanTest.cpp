// The file list, the tree walk, the scanned-media list and the description steps, on folders
// and archives made in the test.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "document/DocumentFixture.h"
#include "platform/AtomicFile.h"
#include "scan/Descriptions.h"
#include "scan/FileList.h"
#include "scan/ScannedMedia.h"
#include "scan/ToolRunner.h"
#include "scan/TreeWalk.h"

namespace mv32::test {
namespace {

using scan::FileList;
using scan::TreeWalk;
using scan::WalkVariant;
namespace fs = std::filesystem;

void put(const std::string& path, const std::string& text = "x") {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

struct Row {
    std::string dir, name, ext;
    int64_t size;
    std::string label, serial;
    bool operator<(const Row& o) const {
        return std::tie(dir, name, ext, size, label, serial) <
               std::tie(o.dir, o.name, o.ext, o.size, o.label, o.serial);
    }
    bool operator==(const Row& o) const { return !(*this < o) && !(o < *this); }
};

std::set<Row> rows(FileList& list) {
    std::set<Row> out;
    auto& t = list.table();
    for (t.first(); !t.eof(); t.next())
        out.insert({t.asString("Verzeichnis"), t.asString("Dateiname"), t.asString("Erweiterung"),
                    t.asInteger("Groesse"), t.asString("Label"), t.asString("VolID")});
    return out;
}

class ScanFixture : public ::testing::Test {
protected:
    TempDir data;
    TempDir medium;
    std::string root() const { return medium.path() + "/"; }
    std::atomic<bool> cancel{false};

    // The options of a dialog scan with a catalog open that reads description lists.
    static scan::WalkOptions describing() {
        scan::WalkOptions options;
        options.readFilesBbs = true;
        options.catalogOpen = true;
        return options;
    }
    // The files of the list, as paths below the medium's root.
    std::set<std::string> namesBelowRoot(FileList& list) {
        std::set<std::string> names;
        for (const auto& r : rows(list)) names.insert(r.dir.substr(root().size()) + r.name);
        return names;
    }
};

TEST_F(ScanFixture, FileListKeepsOneRecordPerFileVersionAndMedium) {
    FileList list(data.path() + "/");
    list.openOrCreate();
    list.ensurePrimaryIndex();
    EXPECT_FALSE(list.commit());  // nothing added yet: the scan driver asks about that
    list.openOrCreate();
    const std::string deep = "/" + std::string(300, 'v') + "/" + std::string(200, 'w') + "/";
    const std::string longName = std::string(250, 'n') + ".txt";
    EXPECT_TRUE(list.addIfNew("/m/", "archive.backup", 10, "GAMES", "1234ABCD"));
    EXPECT_FALSE(list.addIfNew("/m/", "archive.backup", 10, "GAMES", "1234ABCD"));
    EXPECT_TRUE(list.addIfNew("/m/", "archive.backup", 11, "GAMES", "1234ABCD"));  // size changed
    EXPECT_TRUE(list.addIfNew("/m/", "archive.backup", 10, "GAMES", "99999999"));  // other medium
    EXPECT_TRUE(list.addIfNew("/m/", "README", 5'000'000'000LL, "", "00000001"));
    EXPECT_TRUE(list.addIfNew("/m/", ".profile", 1, "", "00000001"));
    EXPECT_TRUE(list.addIfNew(deep, longName, 0, "", "00000001"));
    EXPECT_FALSE(list.addIfNew(deep, longName, 0, "", "00000001"));
    EXPECT_TRUE(list.commit());
    const auto all = rows(list);
    EXPECT_EQ(all.size(), 6u);
    EXPECT_TRUE(all.count({"/m/", "archive.backup", "backu", 10, "GAMES", "1234ABCD"}));
    EXPECT_TRUE(all.count({"/m/", "README", "", 5'000'000'000LL, "", "00000001"}));
    EXPECT_TRUE(all.count({"/m/", ".profile", "profi", 1, "", "00000001"}));
    EXPECT_TRUE(all.count({deep, longName, "txt", 0, "", "00000001"}));  // whole path and name

    // The secondary indexes: built after a scan, mv32list.xg0 exactly while DateinameIndex is.
    EXPECT_FALSE(list.hasNameIndex());
    std::vector<int> steps;
    list.rebuildSecondaryIndexes([&](int i) { steps.push_back(i); });
    EXPECT_EQ(steps, (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(list.hasNameIndex());
    list.openOrCreate();
    list.dropSecondaryIndexes();
    EXPECT_FALSE(list.hasNameIndex());
    EXPECT_EQ(list.recordCount(), 6);
    list.close();
}

TEST_F(ScanFixture, TheWalkRecordsEveryFileOnceAndKeepsToItsMedium) {
    put(medium.file("a.txt"), "12345");
    put(medium.file("unter/b.ZIP"));
    put(medium.file("unter/tief/files.bbs"));
    put(medium.file(".cache/c.txt"));
    put(medium.file(".profile"));
    put(medium.file("ziel/d.txt"));
    fs::create_directory_symlink(medium.file("ziel"), medium.file("link"));

    FileList list(data.path() + "/");
    list.openOrCreate();
    std::vector<std::string> status, bbs, archives;
    std::vector<int64_t> counted;
    scan::WalkHooks hooks;
    hooks.status = [&](const std::string& s) { status.push_back(s); };
    hooks.counters = [&](int64_t n, int64_t) { counted.push_back(n); };
    hooks.filesBbs = [&](const std::string& p) { bbs.push_back(p); };
    hooks.archive = [&](const std::string& d, const std::string& n) { archives.push_back(d + n); };
    scan::WalkOptions options = describing();
    TreeWalk walk(list, WalkVariant::Baum, cancel, options, hooks);
    walk.walk(root(), "MEDIUM", "0000ABCD");
    EXPECT_TRUE(list.commit());

    const std::set<std::string> names = namesBelowRoot(list);
    // .cache is not walked, .profile is hidden, the link is a file of its own.
    EXPECT_EQ(names, (std::set<std::string>{"a.txt", "unter/b.ZIP", "unter/tief/files.bbs",
                                            "ziel/d.txt", "link"}));
    EXPECT_EQ(walk.newFiles(), 5);
    EXPECT_EQ(counted.back(), 5);
    EXPECT_EQ(bbs, std::vector<std::string>{root() + "unter/tief/files.bbs"});
    EXPECT_EQ(archives, std::vector<std::string>{root() + "unter/b.ZIP"});
    EXPECT_NE(std::find(status.begin(), status.end(), "Files.bbs wird gelesen..."), status.end());
    // The file at hand is shown as often as a person can read it: here, the first one.
    EXPECT_EQ(status.front().rfind(root(), 0), 0u) << status.front();

    // A second scan adds nothing, but still reads the description list.
    list.openOrCreate();
    bbs.clear();
    TreeWalk again(list, WalkVariant::Baum, cancel, options, hooks);
    again.walk(root(), "MEDIUM", "0000ABCD");
    EXPECT_EQ(again.newFiles(), 0);
    EXPECT_FALSE(list.commit());
    EXPECT_EQ(bbs.size(), 1u);

    // With Hidden off the dot file counts; the command-line mode shows nothing; the background
    // variant reads no descriptions.
    list.openOrCreate();
    status.clear();
    bbs.clear();
    options.hidden = false;
    options.dialogMode = false;
    TreeWalk quiet(list, WalkVariant::Baum, cancel, options, hooks);
    quiet.walk(root(), "MEDIUM", "0000ABCD");
    EXPECT_EQ(quiet.newFiles(), 1);
    EXPECT_TRUE(status.empty());
    TreeWalk background(list, WalkVariant::Baum3, cancel, options, hooks);
    background.walk(root(), "ANDERES", "00000002");
    EXPECT_EQ(background.newFiles(), 6);
    EXPECT_EQ(bbs.size(), 1u);  // from the Baum walk only
    list.close();
}

// Sets the hidden attribute of a file or folder on a FAT medium; false where that fails.
bool setFatHidden(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    __u32 attributes = 0;
    bool done = ::ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &attributes) == 0;
    attributes |= ATTR_HIDDEN;
    done = done && ::ioctl(fd, FAT_IOCTL_SET_ATTRIBUTES, &attributes) == 0;
    ::close(fd);
    return done;
}

TEST_F(ScanFixture, OnAFatMediumTheHiddenAttributeHidesAFile) {
    // A real FAT filesystem in a file, mounted through a loop device: root only.
    const std::string image = data.file("fat.img");
    const std::string make = "PATH=\"$PATH:/sbin:/usr/sbin\"; truncate -s 8M '" + image +
                             "' && mkfs.vfat -n STICK '" + image + "' >/dev/null 2>&1 && mount -o loop '" +
                             image + "' '" + medium.path() + "' 2>/dev/null";
    if (std::system(make.c_str()) != 0) GTEST_SKIP() << "kein FAT-Abbild einhängbar (nur als root)";
    struct Unmount {
        std::string path;
        ~Unmount() {
            const int ignored = std::system(("umount -l '" + path + "' 2>/dev/null").c_str());
            (void)ignored;
        }
    } unmount{medium.path()};
    put(medium.file("sichtbar.txt"));
    put(medium.file("versteckt.txt"));
    put(medium.file("FILES.BBS"), "sichtbar.txt Beschreibung\r\n");
    put(medium.file("ordner/drin.txt"));
    ASSERT_TRUE(setFatHidden(medium.file("versteckt.txt")));
    ASSERT_TRUE(setFatHidden(medium.file("FILES.BBS")));
    ASSERT_TRUE(setFatHidden(medium.file("ordner")));

    FileList list(data.path() + "/");
    list.openOrCreate();
    std::vector<std::string> bbs;
    scan::WalkHooks hooks;
    hooks.filesBbs = [&](const std::string& p) { bbs.push_back(p); };
    scan::WalkOptions options = describing();
    TreeWalk walk(list, WalkVariant::Baum, cancel, options, hooks);
    walk.walk(root(), "STICK", "0000ABCD");
    list.commit();
    const std::set<std::string> names = namesBelowRoot(list);
    // A folder is walked whatever its attributes; only files are hidden.
    EXPECT_EQ(names, (std::set<std::string>{"sichtbar.txt", "ordner/drin.txt"}));
    EXPECT_TRUE(bbs.empty());

    options.hidden = false;
    list.openOrCreate();
    TreeWalk all(list, WalkVariant::Baum, cancel, options, hooks);
    all.walk(root(), "STICK", "0000ABCD");
    list.commit();
    EXPECT_EQ(all.newFiles(), 2);
    EXPECT_EQ(bbs.size(), 1u);
    list.close();
}

TEST_F(ScanFixture, CancelStopsADeepWalkButNotTheWalkOfAllDrives) {
    std::string deep = medium.path();
    for (int i = 0; i < 30; ++i) {
        deep += "/e" + std::to_string(i);
        put(deep + "/datei.txt");
    }
    FileList list(data.path() + "/");
    list.openOrCreate();
    int seen = 0;
    scan::WalkHooks hooks;
    hooks.processEvents = [&] {
        if (++seen == 10) cancel = true;  // as if "&Abbrechen" were pressed mid-walk
    };
    TreeWalk walk(list, WalkVariant::Baum3, cancel, {}, hooks);
    walk.walk(root(), "", "00000001");
    EXPECT_EQ(walk.newFiles(), 10);
    EXPECT_EQ(list.recordCount(), 10);  // what was added stays

    TreeWalk all(list, WalkVariant::Baum2, cancel, {}, hooks);  // ignores the flag
    all.walk(root(), "", "00000001");
    EXPECT_EQ(all.newFiles(), 20);
    list.close();
}

TEST_F(ScanFixture, TheForegroundWalkLeavesTheTableWorkToASecondThread) {
    // More files than a batch of the table work, with description lists and archives between.
    for (int d = 0; d < 30; ++d) {
        for (int f = 0; f < 100; ++f)
            put(medium.file("o" + std::to_string(d) + "/f" + std::to_string(f) + ".txt"));
        if (d % 10 == 0) put(medium.file("o" + std::to_string(d) + "/FILES.BBS"));
        if (d % 7 == 0) put(medium.file("o" + std::to_string(d) + "/PAKET.ZIP"));
    }
    const int64_t total = 3000 + 3 + 5;
    FileList list(data.path() + "/");
    list.openOrCreate();
    list.ensurePrimaryIndex();
    const auto caller = std::this_thread::get_id();
    bool elsewhere = false;
    std::vector<std::pair<int64_t, int64_t>> counted;
    std::vector<std::string> descriptions;
    int64_t seen = 0, stopAt = -1;
    scan::WalkHooks hooks;
    hooks.counters = [&](int64_t added, int64_t records) {
        elsewhere = elsewhere || std::this_thread::get_id() != caller;
        counted.emplace_back(added, records);
    };
    hooks.filesBbs = [&](const std::string& p) {
        elsewhere = elsewhere || std::this_thread::get_id() != caller;
        descriptions.push_back(p);
    };
    hooks.archive = [&](const std::string& d, const std::string& n) {
        elsewhere = elsewhere || std::this_thread::get_id() != caller;
        descriptions.push_back(d + n);
    };
    hooks.processEvents = [&] {
        if (++seen == stopAt) cancel = true;
    };
    scan::WalkOptions options = describing();
    {
        TreeWalk walk(list, WalkVariant::Baum, cancel, options, hooks);
        walk.walk(root(), "L", "00000001");
        EXPECT_EQ(walk.newFiles(), total);
    }
    EXPECT_FALSE(elsewhere) << "hooks are called on the walk's thread only";
    EXPECT_EQ(list.recordCount(), total);  // every record found is there when the walk returns
    EXPECT_EQ(descriptions.size(), 3u + 5u);
    ASSERT_FALSE(counted.empty());
    EXPECT_EQ(counted.back(), std::make_pair(total, total));  // exact at the end
    for (size_t i = 1; i < counted.size(); ++i) EXPECT_LE(counted[i - 1].first, counted[i].first);
    EXPECT_TRUE(list.commit());

    // Cancelled midway: what the walk found before is in the table, nothing after it.
    TempDir other;
    FileList second(other.path() + "/");
    second.openOrCreate();
    second.ensurePrimaryIndex();
    seen = 0;
    stopAt = 1000;
    counted.clear();
    TreeWalk walk(second, WalkVariant::Baum, cancel, options, hooks);
    walk.walk(root(), "L", "00000001");
    EXPECT_EQ(second.recordCount(), walk.newFiles());
    EXPECT_GE(walk.newFiles(), 1000 - 30);  // entries seen, less the folders among them
    EXPECT_LE(walk.newFiles(), 1000);
    EXPECT_EQ(counted.back().first, walk.newFiles());
    second.close();
    list.close();
}

TEST_F(ScanFixture, AFirstWalkBuildsTheSearchIndexFromTheNamesItAdded) {
    // Names whose order in the list is not the walk's, upper-cased by the index (umlauts,
    // ß), alike but for case, and more of them than one batch of the table work.
    const std::vector<std::string> names = {"zebra.txt", "Äpfel.doc", "äpfel.doc", "Straße",
                                            "a",         "MP3",       "x.mp3",     "readme"};
    for (int d = 0; d < 12; ++d) {
        for (int f = 0; f < 60; ++f)
            put(medium.file("o" + std::to_string(d % 5) + "/" + std::to_string(d) + "/" +
                            names[static_cast<size_t>(f) % names.size()] + std::to_string(f)));
    }
    const std::string tri = data.path() + "/mv32list.tri";
    auto contents = [&] { return platform::readWholeFile(tri).value_or("(keine)"); };
    auto scanInto = [&](FileList& list, int64_t expected) {
        list.openOrCreate();
        list.ensurePrimaryIndex();
        TreeWalk walk(list, WalkVariant::Baum, cancel, {}, {});
        walk.walk(root(), "L", "00000001");
        EXPECT_EQ(walk.newFiles(), expected);
        list.commit();
        list.close();
    };
    auto current = [&] {
        engine::Table t;
        t.setDirectory(data.path() + "/");
        t.setTableName("mv32list.db");
        t.open();
        return t.trigramIndexField();
    };
    FileList list(data.path() + "/");
    scanInto(list, 720);
    EXPECT_TRUE(list.searchIndexFromNames());
    EXPECT_EQ(current(), "Dateiname");
    const std::string fromNames = contents();
    // The file a build from the records writes.
    {
        engine::Table t;
        t.setDirectory(data.path() + "/");
        t.setTableName("mv32list.db");
        t.setExclusive(true);
        t.open();
        t.buildTrigramIndex("Dateiname");
    }
    EXPECT_EQ(contents(), fromNames);
    // Into a list that holds records the index takes the walk's change instead (nothing new
    // here), and a list made anew builds it from the names again.
    scanInto(list, 0);
    EXPECT_FALSE(list.searchIndexFromNames());
    EXPECT_EQ(current(), "Dateiname");
    for (const char* ext : {".db", ".px", ".wal", ".tri", ".trd"})
        fs::remove(data.file(std::string("mv32list") + ext));
    scanInto(list, 720);
    EXPECT_TRUE(list.searchIndexFromNames());
    EXPECT_EQ(current(), "Dateiname");
}

TEST(ScannedMediaTest, LinesAreLabelAndSerial) {
    TempDir dir;
    scan::ScannedMedia media(dir.path() + "/");
    EXPECT_TRUE(media.lines().empty());
    media.ensureExists();
    EXPECT_TRUE(fs::exists(media.path()));
    media.append("GAMES", "1234ABCD");
    media.append("", "00000001");
    media.append("BÜRO", "0000FFFF");
    EXPECT_TRUE(media.contains("GAMES", "1234ABCD"));
    EXPECT_FALSE(media.contains("GAMES", "1234ABCE"));
    std::ifstream in(media.path(), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    EXPECT_EQ(s.str(), "GAMES1234ABCD\r\n00000001\r\nB\xDCRO0000FFFF\r\n");
    EXPECT_EQ(scan::ScannedMedia::displayForm("GAMES1234ABCD"), "GAMES - 1234ABCD");
    media.remove("GAMES", "1234ABCD");
    EXPECT_EQ(media.lines(), (std::vector<std::string>{"00000001", "BÜRO0000FFFF"}));
    media.deleteFile();
    EXPECT_FALSE(fs::exists(media.path()));
}

TEST(DescriptionTest, FilterAndListFormat) {
    EXPECT_EQ(scan::filterLine("  Größe: 'abc' [1] {x} ~ä\t@home `y` ^|  "), "Gre: abc 1 x home y");
    EXPECT_EQ(scan::filterLine("a!\"#$%&()*+,-./:;<=>?\\_z"), "a!\"#$%&()*+,-./:;<=>?\\_z");
    const auto records = scan::parseFilesBbs(
        "GAME.ZIP   Great game\r\n      more text\r\n-------\r\n1STREAD.ME skipped\r\n"
        "TOOL\r\n\r\n ohne Datei\r\nzip.exe Packer \xC4\r\n");
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0],
              (std::pair<std::string, std::string>{"GAME.ZIP", " Great game\r\n more text\r\n"}));
    EXPECT_EQ(records[1], (std::pair<std::string, std::string>{"TOOL", " ohne Datei\r\n"}));
    EXPECT_EQ(records[2], (std::pair<std::string, std::string>{"zip.exe", " Packer\r\n"}));
}

class DescriptionStore : public DocumentFixture {};

TEST_F(DescriptionStore, Hinzu2CreatesOrUpdatesAndCountsForAutoSave) {
    makeCatalog(data("k.db"), {"GAME.ZIP"});
    openCatalog(data("k.db"));
    put(data("FILES.BBS"), "GAME.ZIP Neu beschrieben\r\nNEW.ARJ Dazu\r\n");
    scan::DescriptionHooks hooks;
    hooks.store = [&](const std::string& n, const std::string& d) {
        scan::hinzu2(*doc, *autoSave, n, d);
    };
    scan::GetFileBBS(data("FILES.BBS"), hooks);
    auto& t = doc->MV32();
    EXPECT_EQ(t.recordCount(), 2);
    ASSERT_TRUE(t.locate("Name", {engine::Value("GAME.ZIP")}));
    EXPECT_EQ(t.asString("Memo"), " Neu beschrieben\r\n");
    EXPECT_FALSE(doc->state().DataSaved);
    EXPECT_EQ(doc->state().ChangeCount, 2);
    EXPECT_EQ(ui.status[1], "geändert");
    EXPECT_FALSE(doc->state().AutoSaveHold);

    std::vector<std::string> logged;
    hooks.log = [&](const std::string& l) { logged.push_back(l); };
    scan::GetFileBBS(data("fehlt.bbs"), hooks);
    EXPECT_EQ(logged, std::vector<std::string>{data("fehlt.bbs") +
                                               " konnte nicht gelesen werden: Get FileBBS"});
}

bool have(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

TEST(ArchiveTest, FileIdDizComesOutOfRealArchives) {
    TempDir dir;
    TempDir work;
    put(dir.file("src/FILE_ID.DIZ"), "Ein Programm\r\n f\xFCr alle\r\n");
    put(dir.file("medium/file_id.diz"), "liegt schon da");  // must survive
    std::vector<std::pair<std::string, std::string>> stored;
    scan::DescriptionHooks hooks;
    hooks.store = [&](const std::string& n, const std::string& d) { stored.emplace_back(n, d); };
    const struct {
        const char* tool;
        const char* archive;
        std::string pack;
    } cases[] = {
        {"zip", "prog.zip", "cd src && zip -q ../medium/prog.zip FILE_ID.DIZ"},
        {"arj", "PROG.ARJ", "cd src && arj a -y ../medium/PROG.ARJ FILE_ID.DIZ"},
    };
    int made = 0;
    for (const auto& c : cases) {
        if (!have(c.tool)) continue;
        ASSERT_EQ(std::system(("cd " + dir.path() + " && " + c.pack + " >/dev/null 2>&1").c_str()),
                  0);
        stored.clear();
        scan::archiveDescription(dir.file("medium/"), c.archive, work.path() + "/", hooks);
        ASSERT_EQ(stored.size(), 1u) << c.archive;
        EXPECT_EQ(stored[0].first, c.archive);
        EXPECT_EQ(stored[0].second, "Ein Programm\r\nfr alle\r\n");
        ++made;
    }
    if (made == 0) GTEST_SKIP() << "no archivers here";
    std::ifstream beside(dir.file("medium/file_id.diz"));
    std::string text;
    std::getline(beside, text);
    EXPECT_EQ(text, "liegt schon da");
    EXPECT_TRUE(fs::is_empty(work.path()));  // the private folders are gone

    // An archive without the member stores nothing.
    if (have("zip")) {
        put(dir.file("src/other.txt"));
        std::system(("cd " + dir.file("src") + " && zip -q ../medium/leer.zip other.txt").c_str());
        stored.clear();
        scan::archiveDescription(dir.file("medium/"), "leer.zip", work.path() + "/", hooks);
        EXPECT_TRUE(stored.empty());
    }
}

TEST(HostileMedia, DescriptionsAreReadOnlyFromRegularFilesAndNamesBecomeText) {
    TempDir dir;
    TempDir work;
    std::vector<std::pair<std::string, std::string>> stored;
    std::vector<std::string> logged;
    scan::DescriptionHooks hooks;
    hooks.store = [&](const std::string& n, const std::string& d) { stored.emplace_back(n, d); };
    hooks.log = [&](const std::string& l) { logged.push_back(l); };
    // A FILES.BBS that is a FIFO, or a link to an endless device: refused at once.
    ASSERT_EQ(::mkfifo(dir.file("FILES.BBS").c_str(), 0600), 0);
    scan::GetFileBBS(dir.file("FILES.BBS"), hooks);
    fs::create_symlink("/dev/zero", dir.file("ZERO.BBS"));
    scan::GetFileBBS(dir.file("ZERO.BBS"), hooks);
    EXPECT_TRUE(stored.empty());
    EXPECT_EQ(logged.size(), 2u);
    // Names in windows-1252 become text; a list written as UTF-8 stays as it is.
    put(dir.file("LIST.BBS"), "SPIEL\xE4.ZIP Spiel\r\nB\xC3\xBCRO.ZIP B\xFCro\r\n");
    scan::GetFileBBS(dir.file("LIST.BBS"), hooks);
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].first, "SPIELä.ZIP");
    EXPECT_EQ(stored[1].first, "BüRO.ZIP");

    // A file_id.diz in an archive that is a link to a file outside: nothing is read.
    if (have("zip")) {
        put(dir.file("geheim.txt"), "Geheimnis");
        fs::create_directories(dir.file("src"));
        fs::create_symlink(dir.file("geheim.txt"), dir.file("src/file_id.diz"));
        fs::create_symlink("/dev/zero", dir.file("src/FILE_ID.DIZ"));
        ASSERT_EQ(std::system(("cd " + dir.file("src") +
                               " && zip -q -y ../leak.zip file_id.diz FILE_ID.DIZ").c_str()),
                  0);
        stored.clear();
        scan::archiveDescription(dir.path() + "/", "leak.zip", work.path() + "/", hooks);
        EXPECT_TRUE(stored.empty());
    }
}

TEST_F(ScanFixture, SpecialFilesAreNoFiles) {
    put(medium.file("echt.txt"));
    ASSERT_EQ(::mkfifo(medium.file("fifo").c_str(), 0600), 0);
    fs::create_symlink("/dev/null", medium.file("link"));
    FileList list(data.path() + "/");
    list.openOrCreate();
    scan::WalkOptions options = describing();
    std::vector<std::string> bbs;
    scan::WalkHooks hooks;
    hooks.filesBbs = [&](const std::string& p) { bbs.push_back(p); };
    TreeWalk walk(list, WalkVariant::Baum, cancel, options, hooks);
    walk.walk(root(), "L", "00000001");
    std::set<std::string> names;
    for (const auto& r : rows(list)) names.insert(r.name);
    EXPECT_EQ(names, (std::set<std::string>{"echt.txt", "link"}));  // a link is a file of its own
}

// A tree deeper than any path may be long and than the open files a process may hold: every
// file is recorded. The walk runs in a child process with a low limit of open files.
TEST_F(ScanFixture, ATreeOfAnyDepthIsWalkedWhole) {
    constexpr int kLevels = 300;  // 300 names of 100 characters: paths of 30,000 bytes
    const std::string segment(99, 'v');
    int fd = ::open(medium.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < kLevels; ++i) {
        const std::string name = std::to_string(i % 10) + segment;
        const std::string file = "f" + std::to_string(i);
        const int f = ::openat(fd, file.c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(f, 0);
        ::close(f);
        ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
        const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
    }
    ::close(fd);
    const pid_t child = ::fork();
    if (child == 0) {
        struct rlimit few {96, 96};
        ::setrlimit(RLIMIT_NOFILE, &few);
        int status = 3;
        try {
            FileList list(data.path() + "/");
            list.openOrCreate();
            std::atomic<bool> none{false};
            TreeWalk walk(list, WalkVariant::Baum, none, {}, {});
            walk.walk(root(), "TIEF", "00000001");
            list.commit();
            status = list.recordCount() == kLevels ? 0 : 1;
            list.close();
        } catch (...) {
            status = 2;
        }
        ::_exit(status);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: files missing, 2: the walk failed";
    // Walked here too, with the usual limit: the deepest file is there.
    FileList list(data.path() + "/");
    list.openOrCreate();
    std::set<std::string> names;
    for (const auto& r : rows(list)) names.insert(r.name);
    EXPECT_EQ(names.size(), static_cast<size_t>(kLevels));
    EXPECT_TRUE(names.count("f" + std::to_string(kLevels - 1)));
    // Leave the deep tree removable for the fixture.
    std::error_code ec;
    fs::remove_all(medium.file("0" + segment), ec);
}

TEST_F(ScanFixture, AFolderThatCannotBeReadIsToldNotPassedOver) {
    put(medium.file("offen/a.txt"));
    put(medium.file("zu/b.txt"));
    fs::permissions(medium.file("zu"), fs::perms::none);
    const bool readable = ::access(medium.file("zu").c_str(), R_OK | X_OK) == 0;
    FileList list(data.path() + "/");
    list.openOrCreate();
    std::vector<std::string> unreadable;
    scan::WalkHooks hooks;
    hooks.unreadable = [&](const std::string& d) { unreadable.push_back(d); };
    TreeWalk walk(list, WalkVariant::Baum2, cancel, {}, hooks);
    walk.walk(root(), "L", "00000001");
    fs::permissions(medium.file("zu"), fs::perms::owner_all);
    if (readable) GTEST_SKIP() << "this user reads every folder (root)";
    EXPECT_EQ(unreadable, std::vector<std::string>{root() + "zu/"});
    EXPECT_EQ(rows(list).size(), 1u);
}

TEST_F(ScanFixture, AnAncestorMovedAwayDuringTheWalkIsAFailingFilesystem) {
    // a/ holds files and the folder d/, below which a chain deep enough that a/ is set aside
    // while the walk is at the bottom. There, d/ is moved out of a/: a/ cannot be found again
    // through "..", and what is left of its listing is reported, not silently lost.
    put(medium.file("a/vorher.txt"));
    fs::create_directories(medium.file("a/d"));
    auto entriesAfterD = [&] {
        DIR* listing = ::opendir(medium.file("a").c_str());
        bool seen = false;
        int after = 0;
        while (dirent* e = ::readdir(listing)) {
            const std::string n = e->d_name;
            if (n == "." || n == "..") continue;
            if (seen) ++after;
            seen = seen || n == "d";
        }
        ::closedir(listing);
        return after;
    };
    for (int i = 0; entriesAfterD() == 0; ++i) put(medium.file("a/n" + std::to_string(i)));
    std::string deep = medium.file("a/d");
    for (int i = 0; i < 60; ++i) deep += "/t";
    put(deep + "/FILES.BBS");

    FileList list(data.path() + "/");
    list.openOrCreate();
    std::vector<std::string> severe, unreadable;
    scan::WalkHooks hooks;
    // The description list at the bottom is where the walk stands when the tree moves.
    hooks.filesBbs = [&](const std::string&) { fs::rename(medium.file("a/d"), medium.file("weg")); };
    hooks.severeFailure = [&](const std::string& d) { severe.push_back(d); };
    hooks.unreadable = [&](const std::string& d) { unreadable.push_back(d); };
    scan::WalkOptions options = describing();
    TreeWalk walk(list, WalkVariant::Baum, cancel, options, hooks);
    walk.walk(root(), "L", "00000001");
    list.commit();
    EXPECT_EQ(severe, std::vector<std::string>{root() + "a/"});
    EXPECT_TRUE(unreadable.empty());
    std::set<std::string> names;
    for (const auto& r : rows(list)) names.insert(r.name);
    EXPECT_TRUE(names.count("FILES.BBS"));
}

// The CRC-16 of LZH and ARC archives (polynomial 0xA001, start 0).
uint16_t crc16(const std::string& data) {
    uint16_t crc = 0;
    for (char ch : data) {
        crc ^= static_cast<unsigned char>(ch);
        for (int i = 0; i < 8; ++i)
            crc = static_cast<uint16_t>(crc & 1 ? (crc >> 1) ^ 0xA001 : crc >> 1);
    }
    return crc;
}

void le(std::string& out, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// An LZH archive (level-0 header, method -lh0-: stored) holding one member.
std::string lzhArchive(const std::string& name, const std::string& data) {
    std::string h = "-lh0-";
    le(h, data.size(), 4);
    le(h, data.size(), 4);
    le(h, 0x5A210000, 4);  // a DOS date and time
    h.push_back(0x20);     // attribute
    h.push_back(0);        // header level
    h.push_back(static_cast<char>(name.size()));
    h += name;
    le(h, crc16(data), 2);
    unsigned sum = 0;
    for (char c : h) sum += static_cast<unsigned char>(c);
    std::string out;
    out.push_back(static_cast<char>(h.size()));
    out.push_back(static_cast<char>(sum & 0xFF));
    return out + h + data + std::string(1, '\0');
}

// An ARC archive (method 2: stored) holding one member.
std::string arcArchive(const std::string& name, const std::string& data) {
    std::string out = "\x1a\x02";
    std::string n = name;
    n.resize(13, '\0');
    out += n;
    le(out, data.size(), 4);
    le(out, 0x5A21, 2);
    le(out, 0x0000, 2);
    le(out, crc16(data), 2);
    le(out, data.size(), 4);
    return out + data + std::string("\x1a\x00", 2);
}

TEST(ArchiveTest, LzhAndArcFixtures) {
    TempDir dir;
    TempDir work;
    const std::string text = "Aus dem Archiv\r\n";
    put(dir.file("medium/PROG.LZH"), lzhArchive("FILE_ID.DIZ", text));
    put(dir.file("medium/PROG.ARC"), arcArchive("FILE_ID.DIZ", text));
    std::vector<std::pair<std::string, std::string>> stored;
    scan::DescriptionHooks hooks;
    hooks.store = [&](const std::string& n, const std::string& d) { stored.emplace_back(n, d); };
    int tried = 0;
    for (const auto& [tool, archive] :
         {std::pair{"lha", "PROG.LZH"}, std::pair{"nomarch", "PROG.ARC"}}) {
        if (!have(tool)) continue;
        stored.clear();
        scan::archiveDescription(dir.file("medium/"), archive, work.path() + "/", hooks);
        ASSERT_EQ(stored.size(), 1u) << archive;
        EXPECT_EQ(stored[0].second, "Aus dem Archiv\r\n");
        ++tried;
    }
    if (tried == 0) GTEST_SKIP() << "neither lha nor nomarch here";
}

TEST(ArchiveTest, AMissingOrHangingToolIsPassedOver) {
    TempDir dir;
    EXPECT_FALSE(scan::runTool({"gibt-es-nicht-mv32"}, dir.path()).started);

    // A tool that hangs, and its child, are stopped at the limit.
    const std::string script = dir.file("haengt.sh");
    std::ofstream(script) << "#!/bin/sh\nsleep 30 &\necho $! > " << dir.file("kind")
                          << "\nsleep 30\n";
    fs::permissions(script, fs::perms::owner_all);
    const auto start = std::chrono::steady_clock::now();
    auto r = scan::runTool({script}, dir.path(), 300);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(r.started);
    EXPECT_TRUE(r.stopped);
    EXPECT_LT(took, std::chrono::seconds(10));
    // The whole group is gone: the tool's own child was stopped with it.
    std::ifstream pidFile(dir.file("kind"));
    int child = 0;
    pidFile >> child;
    ASSERT_GT(child, 0);
    bool gone = false;
    for (int i = 0; i < 200 && !gone; ++i) {
        std::ifstream stat("/proc/" + std::to_string(child) + "/stat");
        std::string pid, comm, state;
        gone = !(stat >> pid >> comm >> state) || state == "Z";
        if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(gone);

    auto quick = scan::runTool({"true"}, dir.path());
    EXPECT_TRUE(quick.started);
    EXPECT_FALSE(quick.stopped);
    EXPECT_FALSE(quick.failed);
    EXPECT_FALSE(scan::runTool({"gibt-es-nicht-mv32"}, dir.path()).failed);
}

TEST(ArchiveTest, ARunnerThatCannotRunAToolLogsIt) {
    // A tool that starts but cannot be waited for (its end is not reported to the program):
    // not a missing tool but a failing runner, logged once for the archive.
    TempDir dir;
    put(dir.file("spiel.zip"), "PK");
    put(dir.file("bin/unzip"), "#!/bin/sh\nexit 0\n");
    fs::permissions(dir.file("bin/unzip"), fs::perms::owner_all);
    const std::string work = dir.path() + "/arbeit/";
    fs::create_directories(work);
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGCHLD, SIG_IGN);  // children are reaped unseen: waitpid has none to wait for
        ::setenv("PATH", dir.file("bin").c_str(), 1);
        std::vector<std::string> lines;
        scan::DescriptionHooks hooks;
        hooks.log = [&](const std::string& line) { lines.push_back(line); };
        const bool failed = scan::runTool({"unzip"}, work).failed;
        scan::archiveDescription(dir.path() + "/", "spiel.zip", work, hooks);
        ::_exit(failed && lines == std::vector<std::string>{scan::kToolFailedText} ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace mv32::test
