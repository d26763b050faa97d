#include "Scenarios.h"

#include "engine/Table.h"
#include "support/TableState.h"

namespace mv32::test {

using engine::FieldDef;
using engine::FieldType;
using engine::Table;
using engine::Value;

namespace {

using FsPtr = std::shared_ptr<engine::FileSystem>;

std::unique_ptr<Table> table(const FsPtr& fs, const std::string& dir, bool exclusive = false) {
    auto t = std::make_unique<Table>(fs);
    t->setDirectory(dir);
    t->setTableName("t.db");
    t->setExclusive(exclusive);
    return t;
}

std::string name(int i) {
    char b[32];
    snprintf(b, sizeof b, "Programm %04d", i);
    return b;
}

void standardTable(const FsPtr& fs, const std::string& dir, bool keyed = true) {
    auto t = table(fs, dir, true);
    t->setFieldDefs({{"Name", FieldType::Text, 1000},
                     {"Nr", FieldType::Int32, 0},
                     {"Kat", FieldType::Text, 40},
                     {"Memo", FieldType::Memo, 0}});
    t->createTable();
    if (keyed) t->addIndex("", "Name");
    t->open();
    if (keyed) t->addIndex("KatIndex", "Kat;Name");
    t->beginBulk();
    for (int i = 0; i < 120; ++i) {
        t->append();
        t->setAsString("Name", name(i * 2));
        t->setAsInteger("Nr", i);
        t->setAsString("Kat", "K" + std::to_string(i % 5));
        if (i % 3 == 0) t->setAsString("Memo", std::string(static_cast<size_t>(20 + i * 7), 'm'));
    }
    t->endBulk();
    t->close();
}

// Opens the table, applies `change`, reports the return and closes.
using Returned = std::function<void()>;

template <typename F>
void change(const FsPtr& fs, const std::string& dir, const std::function<void()>& returned, F&& f,
            bool exclusive = false) {
    auto t = table(fs, dir, exclusive);
    t->open();
    f(*t);
    returned();
    t->close();
}

}  // namespace

std::vector<Scenario> scenarios() {
    auto std = [](const FsPtr& fs, const std::string& dir) { standardTable(fs, dir); };
    std::vector<Scenario> s;
    s.push_back({"Einfuegen", 1, std,
                 [](const FsPtr& fs, const std::string& dir, const std::function<void()>& r, int) {
                     change(fs, dir, r, [](Table& t) {
                         t.append();
                         t.setAsString("Name", name(77));
                         t.setAsString("Memo", "neu");
                         t.post();
                     });
                 }});
    s.push_back({"Aendern", 1, std,
                 [](const FsPtr& fs, const std::string& dir, const std::function<void()>& r, int) {
                     change(fs, dir, r, [](Table& t) {
                         t.locate("Name", {name(40)});
                         t.edit();
                         t.setAsInteger("Nr", 999);
                         t.post();
                     });
                 }});
    s.push_back({"SchluesselAendern", 1, std,
                 [](const FsPtr& fs, const std::string& dir, const std::function<void()>& r, int) {
                     change(fs, dir, r, [](Table& t) {
                         t.locate("Name", {name(40)});
                         t.edit();
                         t.setAsString("Name", "A ganz vorn");
                         t.setAsString("Kat", "K9");
                         t.post();
                     });
                 }});
    s.push_back({"Loeschen", 1, std,
                 [](const FsPtr& fs, const std::string& dir, const std::function<void()>& r, int) {
                     change(fs, dir, r, [](Table& t) {
                         t.locate("Name", {name(30)});
                         t.remove();
                     });
                 }});
    s.push_back(
        {"Seitenteilung", 8, std,
         [](const FsPtr& fs, const std::string& dir, const std::function<void()>& r, int limit) {
             auto t = table(fs, dir);
             t->open();
             t->beginBulk();
             for (int i = 0; i < limit && i < 8; ++i) {
                 t->append();
                 t->setAsString("Name", name(101) + std::string(700, static_cast<char>('a' + i)));
                 t->post();
                 r();
             }
             t->endBulk();
             t->close();
         }});
    s.push_back(
        {"Zusammenlegen", 80, std,
         [](const FsPtr& fs, const std::string& dir, const std::function<void()>& r, int limit) {
             auto t = table(fs, dir);
             t->open();
             t->beginBulk();
             t->first();
             for (int i = 0; i < limit && i < 80; ++i) {
                 t->remove();
                 r();
             }
             t->endBulk();
             t->close();
         }});
    s.push_back({"MemoWaechst", 1, std,
                 [](const FsPtr& fs, const std::string& dir, const std::function<void()>& r, int) {
                     change(fs, dir, r, [](Table& t) {
                         t.locate("Name", {name(6)});
                         t.edit();
                         t.setAsString("Memo", std::string(60000, 'g'));
                         t.post();
                     });
                 }});
    s.push_back({"MemoSchrumpft", 1,
                 [](const FsPtr& fs, const std::string& dir) {
                     standardTable(fs, dir);
                     auto t = table(fs, dir);
                     t->open();
                     t->locate("Name", {name(6)});
                     t->edit();
                     t->setAsString("Memo", std::string(60000, 'g'));
                     t->post();
                 },
                 [](const FsPtr& fs, const std::string& dir, const std::function<void()>& r, int) {
                     change(fs, dir, r, [](Table& t) {
                         t.locate("Name", {name(6)});
                         t.edit();
                         t.setAsString("Memo", "klein");
                         t.post();
                     });
                 }});
    s.push_back({"MemoLoeschen", 1, std,
                 [](const FsPtr& fs, const std::string& dir, const std::function<void()>& r, int) {
                     change(fs, dir, r, [](Table& t) {
                         t.locate("Name", {name(12)});
                         t.edit();
                         t.clear("Memo");
                         t.post();
                     });
                 }});
    s.push_back(
        {"TabelleAnlegen", 1, std,
         [](const FsPtr& fs, const std::string& dir, const std::function<void()>& r, int) {
             auto t = table(fs, dir);
             t->setFieldDefs({{"Anders", FieldType::Int16, 0}, {"Bild", FieldType::Blob, 0}});
             t->createTable();
             r();
         }});
    s.push_back(
        {"IndexAnlegen", 1, std,
         [](const FsPtr& fs, const std::string& dir, const std::function<void()>& r, int) {
             change(
                 fs, dir, r,
                 [](Table& t) { t.addIndex("NrIndex", "Nr;Name", engine::IndexDescending); }, true);
         }});
    s.push_back({"Packen", 1, std,
                 [](const FsPtr& fs, const std::string& dir, const std::function<void()>& r, int) {
                     change(
                         fs, dir, r, [](Table& t) { t.packTable(); }, true);
                 }});
    s.push_back({"PrimaerindexAnlegen", 1,
                 [](const FsPtr& fs, const std::string& dir) { standardTable(fs, dir, false); },
                 [](const FsPtr& fs, const std::string& dir, const std::function<void()>& r, int) {
                     change(
                         fs, dir, r, [](Table& t) { t.addIndex("", "Name"); }, true);
                 }});
    s.push_back({"TrigrammindexAufbauen", 1,
                 [](const FsPtr& fs, const std::string& dir) {
                     // An index of an earlier state, stale by the change after it.
                     standardTable(fs, dir);
                     auto t = table(fs, dir, true);
                     t->open();
                     t->buildTrigramIndex("Name");
                     t->append();
                     t->setAsString("Name", "Nachzuegler");
                     t->post();
                     t->close();
                 },
                 [](const FsPtr& fs, const std::string& dir, const std::function<void()>& r, int) {
                     change(
                         fs, dir, r, [](Table& t) { t.buildTrigramIndex("Name"); }, true);
                 }});
    s.push_back(
        {"TrigrammindexAendern", 4,
         [](const FsPtr& fs, const std::string& dir) {
             // A current index, which the records added then are handed to as a change.
             standardTable(fs, dir);
             auto t = table(fs, dir, true);
             t->open();
             t->buildTrigramIndex("Name");
             t->close();
         },
         [](const FsPtr& fs, const std::string& dir, const std::function<void()>& r, int limit) {
             auto t = table(fs, dir);
             t->open();
             t->beginTrigramChange();
             t->beginBulk();
             std::vector<uint64_t> added;
             for (int i : {3, 51, 301}) {
                 if (static_cast<int>(added.size()) == limit) break;
                 t->append();
                 t->setAsString("Name", name(i));
                 t->post();
                 added.push_back(static_cast<uint64_t>(t->recNo() - 1));
                 r();
             }
             t->endBulk();
             if (limit > 3 && t->endTrigramChange({}, added)) r();
             t->close();
         }});
    return s;
}

Prepared prepare(const Scenario& sc, const std::string& base, const std::string& work) {
    Prepared p;
    sc.setup(engine::FileSystem::real(), base);
    p.before = snapshot(base);
    p.states = expectedStates(sc, work, p.before);
    restore(work, p.before);
    return p;
}

std::vector<std::string> expectedStates(const Scenario& sc, const std::string& dir,
                                        const std::map<std::string, std::string>& before) {
    auto real = engine::FileSystem::real();
    std::vector<std::string> states;
    for (int m = 0; m <= sc.posts; ++m) {
        restore(dir, before);
        if (m > 0)
            sc.run(
                real, dir, [] {}, m);
        states.push_back(contentOf(real, dir, "t.db"));
    }
    return states;
}

}  // namespace mv32::test
