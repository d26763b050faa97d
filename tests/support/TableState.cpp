#include "support/TableState.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/PathNames.h"
#include "engine/SystemPaths.h"
#include "engine/Table.h"

namespace mv32::test {

Files snapshot(const std::string& dir) {
    Files files;
    for (auto& e : std::filesystem::directory_iterator(dir)) {
        std::ifstream in(e.path(), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        files[e.path().filename().string()] = ss.str();
    }
    return files;
}

void restore(const std::string& dir, const Files& files) {
    for (auto& e : std::filesystem::directory_iterator(dir)) std::filesystem::remove(e.path());
    for (auto& [name, bytes] : files) {
        std::ofstream out(engine::paths::fsPath(engine::paths::join(dir, name)), std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
}

std::string contentOf(const std::shared_ptr<engine::FileSystem>& fs, const std::string& dir,
                      const std::string& table) {
    engine::Table t(fs);
    t.setDirectory(dir);
    t.setTableName(table);
    t.open();
    t.checkIntegrity();
    std::ostringstream out;
    out << t.recordCount() << " records;";
    for (auto& n : t.indexNames()) out << " index " << n << ";";
    // A trigram index counts where it is current (the check above has read it whole).
    if (const std::string f = t.trigramIndexField(); !f.empty()) out << " trigrams " << f << ";";
    out << (t.hasPrimaryIndex() ? " keyed\n" : " keyless\n");
    for (t.first(); !t.eof(); t.next()) {
        for (int i = 0; i < t.fieldCount(); ++i) {
            engine::Value v = t.value(i);
            out << (v.isBlank() ? "<blank>" : v.displayText()) << '\t';
        }
        out << '\n';
    }
    t.close();
    return out.str();
}

}  // namespace mv32::test
