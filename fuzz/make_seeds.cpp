// Writes seed inputs for table_fuzz: tables of the shapes the program uses, made by the engine.
#include <cstdio>
#include <fstream>
#include <string>

#include "FuzzInput.h"
#include "engine/Table.h"

using namespace mv32;

namespace {

void write(const std::string& dir, const std::string& name, const std::string& bytes) {
    std::ofstream out(dir + "/" + name, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::shared_ptr<test::MemFileSystem> table(bool keyed, bool indexes, int records) {
    auto fs = std::make_shared<test::MemFileSystem>();
    engine::Table t(fs);
    t.setDirectory("/f");
    t.setTableName("t.db");
    t.setFieldDefs({{"Name", engine::FieldType::Text, 255},
                    {"Nr", engine::FieldType::Int16, 0},
                    {"Kat", engine::FieldType::Text, 20},
                    {"Memo", engine::FieldType::Memo, 0}});
    t.createTable();
    if (keyed) t.addIndex("", "Name");
    t.setExclusive(true);
    t.open();
    if (indexes) {
        t.addIndex("KatIndex", "Kat;Name", engine::IndexCaseInsensitive);
        t.addIndex("NrIndex", "Nr", engine::IndexDescending);
    }
    for (int i = 0; i < records; ++i) {
        t.append();
        t.setAsString("Name", "Name " + std::to_string(i * 7919 % 1000) +
                                  (i % 40 == 0 ? std::string(1200, 'L') : ""));
        t.setAsInteger("Nr", i % 50);
        t.setAsString("Kat", i % 3 ? "Spiele" : "Büro");
        if (i % 5 == 0) t.setAsString("Memo", std::string(static_cast<size_t>(i) * 10, 'm'));
        t.post();
    }
    t.close();
    return fs;
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = argc > 1 ? argv[1] : ".";
    auto keyed = table(true, true, 150);
    write(dir, "seed-keyed", fuzz::pack(*keyed, 0));
    write(dir, "seed-keyed-fixed", fuzz::pack(*keyed, 1));
    auto keyless = table(false, false, 60);
    write(dir, "seed-keyless-fixed", fuzz::pack(*keyless, 1));
    auto small = table(true, false, 3);
    write(dir, "seed-small-fixed", fuzz::pack(*small, 1));
    std::printf("4 Startdateien in %s geschrieben\n", dir.c_str());
    return 0;
}
