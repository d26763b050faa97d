// Damaged files: flipped bytes in every structural part of every file, zeroed sectors,
// truncation at page boundaries, and files that are no table. Each ends in a corruption error
// naming the damaged file, quickly; never in a crash, a hang or a wrong answer.
#include <gtest/gtest.h>

#include <chrono>

#include "engine/EngineError.h"
#include "engine/Table.h"
#include "support/MemFileSystem.h"

namespace mv32::engine {

namespace {

// Prefixed to an error of another kind than a corruption, so that the tests can tell.
const std::string kWrongKind = "falsche Art: ";

using Clock = std::chrono::steady_clock;

std::shared_ptr<test::MemFileSystem> sampleTable() {
    auto fs = std::make_shared<test::MemFileSystem>();
    Table t(fs);
    t.setDirectory("/c");
    t.setTableName("k.db");
    t.setFieldDefs({{"Name", FieldType::Text, 2000},
                    {"Nr", FieldType::Int16, 0},
                    {"Kat", FieldType::Text, 30},
                    {"Memo", FieldType::Memo, 0}});
    t.createTable();
    t.addIndex("", "Name");
    t.setExclusive(true);
    t.open();
    t.addIndex("KatIndex", "Kat;Name");
    t.addIndex("NrIndex", "Nr", IndexDescending);
    for (int i = 0; i < 400; ++i) {
        t.append();
        // Some long names, so that overflow pages exist too.
        t.setAsString("Name",
                      "Eintrag " + std::to_string(i) + (i % 50 == 0 ? std::string(1500, 'l') : ""));
        t.setAsInteger("Nr", i % 100);
        t.setAsString("Kat", "K" + std::to_string(i % 9));
        if (i % 4 == 0) t.setAsString("Memo", std::string(static_cast<size_t>(i) * 11, 'm'));
        t.post();
    }
    // Deleted records leave free pages behind.
    for (int i = 0; i < 400; i += 3) {
        if (t.locate("Name", {"Eintrag " + std::to_string(i)})) t.remove();
    }
    t.close();
    return fs;
}

// Opens and fully checks the table; returns the error, or "" when it passed.
std::string openAndCheck(const std::shared_ptr<test::MemFileSystem>& fs, double* seconds) {
    auto start = Clock::now();
    std::string error;
    try {
        Table t(fs);
        t.setDirectory("/c");
        t.setTableName("k.db");
        t.open();
        t.checkIntegrity();
        for (t.first(); !t.eof(); t.next()) t.value(3);
    } catch (const EngineError& e) {
        error = e.what();
        if (e.kind() != ErrorKind::Corrupt) error = kWrongKind + error;
    }
    *seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return error;
}

const char* kFiles[] = {"k.db", "k.px", "k.mb", "k.xg0", "k.xg1"};

}  // namespace

TEST(Corruption, FlippedBytesInEveryPartOfEveryFileAreFound) {
    auto fs = sampleTable();
    double worst = 0;
    int cases = 0;
    const size_t offsets[] = {0,  4,  8,  12, 13, 14, 16, 20, 24,  28,  32,   40,   48,   52,
                              56, 60, 64, 72, 76, 78, 80, 90, 120, 300, 1000, 2047, 3000, 4095};
    for (const char* name : kFiles) {
        std::string path = std::string("/c/") + name;
        const std::string original = fs->contents(path);
        ASSERT_FALSE(original.empty()) << name;
        for (size_t page = 0; page * 4096 < original.size(); ++page) {
            for (size_t off : offsets) {
                std::string damaged = original;
                damaged[page * 4096 + off] = static_cast<char>(damaged[page * 4096 + off] ^ 0x5A);
                fs->setContents(path, damaged);
                double secs = 0;
                std::string err = openAndCheck(fs, &secs);
                worst = std::max(worst, secs);
                ASSERT_NE(err.find(name), std::string::npos)
                    << name << " page " << page << " offset " << off << ": "
                    << (err.empty() ? "not found" : err);
                ASSERT_NE(err.rfind(kWrongKind, 0), 0u) << name << " page " << page << ": " << err;
                ++cases;
            }
        }
        fs->setContents(path, original);
    }
    double secs;
    ASSERT_EQ(openAndCheck(fs, &secs), "");
    EXPECT_LT(worst, 5.0);
    std::cout << "[ corruption ] " << cases << " flipped bytes, slowest " << worst << " s"
              << std::endl;
}

TEST(Corruption, ZeroedSectorsAndTruncationsAreFound) {
    auto fs = sampleTable();
    int cases = 0;
    for (const char* name : kFiles) {
        std::string path = std::string("/c/") + name;
        const std::string original = fs->contents(path);
        for (size_t s = 0; s * 512 < original.size(); ++s) {
            std::string damaged = original;
            if (damaged.compare(s * 512, 512, std::string(512, '\0')) == 0)
                continue;  // zero already
            std::fill(damaged.begin() + static_cast<long>(s * 512),
                      damaged.begin() + static_cast<long>(s * 512 + 512), '\0');
            fs->setContents(path, damaged);
            double secs;
            std::string err = openAndCheck(fs, &secs);
            ASSERT_NE(err.find(name), std::string::npos) << name << " sector " << s << ": " << err;
            ASSERT_NE(err.rfind(kWrongKind, 0), 0u) << name << " sector " << s << ": " << err;
            ++cases;
        }
        for (size_t cut = 0; cut < original.size(); cut += 4096) {
            for (size_t at : {cut, cut + 1000}) {
                if (at >= original.size()) continue;
                fs->setContents(path, original.substr(0, at));
                double secs;
                std::string err = openAndCheck(fs, &secs);
                ASSERT_NE(err.find(name), std::string::npos)
                    << name << " cut at " << at << ": " << err;
                ASSERT_NE(err.rfind(kWrongKind, 0), 0u) << name << " cut at " << at << ": " << err;
                ++cases;
            }
        }
        fs->setContents(path, original);
    }
    std::cout << "[ corruption ] " << cases << " zeroed sectors and truncations" << std::endl;
}

TEST(Corruption, FilesThatAreNoTableGiveAClearError) {
    auto fs = std::make_shared<test::MemFileSystem>();
    for (std::string junk : {std::string(), std::string("Hallo Welt\n"), std::string(10000, 'x'),
                             std::string(8192, '\0')}) {
        fs->setContents("/c/k.db", junk);
        Table t(fs);
        t.setDirectory("/c");
        t.setTableName("k.db");
        try {
            t.open();
            FAIL() << "opened junk of " << junk.size() << " bytes";
        } catch (const EngineError& e) {
            EXPECT_TRUE(e.kind() == ErrorKind::Corrupt || e.kind() == ErrorKind::NotFound)
                << e.what();
            EXPECT_NE(std::string(e.what()).find("k.db"), std::string::npos) << e.what();
        }
    }
}

}  // namespace mv32::engine
