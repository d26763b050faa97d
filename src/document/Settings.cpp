#include "document/Settings.h"

#include <cctype>
#include <cstdint>

#include "platform/Paths.h"

namespace mv32::document {

const std::array<const char*, 8> kIndexSettingNames = {
    "DatentraegerNrInd",  "DatentraegerInd", "LabelInd",     "Gesamte_GroesseInd",
    "Freier_SpeicherInd", "StatusInd",       "KategorieInd", "LaufwerkInd"};

namespace {

// The flags of the record by name, so that reading and writing share one list.
template <typename S, typename F>
void forEachFlag(S& s, F&& f) {
    f("AutoSave", s.AutoSave);
    f("ASAender", s.ASAender);
    f("ASZeit", s.ASZeit);
    f("SekIndexActive", s.SekIndexActive);
    f("CreateLogFile", s.CreateLogFile);
    f("ReadLastfile", s.ReadLastfile);
    f("NoFun", s.NoFun);
    f("Backup", s.Backup);
    f("ReadFilesBBS", s.ReadFilesBBS);
    f("ReadFileIDDIZ", s.ReadFileIDDIZ);
    f("ScanBackground", s.ScanBackground);
    f("Hidden", s.Hidden);
    for (size_t i = 0; i < kIndexSettingNames.size(); ++i) f(kIndexSettingNames[i], s.indexOn[i]);
}

// A stored number within the settings dialog's range: a value written by hand outside it (0
// minutes would make a timer that never rests) is brought into it as the dialog would.
int readNumber(SettingsStore& store, const char* name, int lo, int hi, int fallback) {
    auto text = store.read(kSettingsSection, name);
    if (!text) return fallback;
    auto n = parseStoredInteger(*text);
    if (!n) return fallback;
    if (*n < lo) return lo;
    if (*n > hi) return hi;
    return static_cast<int>(*n);
}

void readCommon(SettingsStore& store, Settings& s) {
    const Settings fresh;
    s.UserSQL = store.read(kSettingsSection, "UserSQL").value_or(fresh.UserSQL);
    forEachFlag(s, [&](const char* name, bool& flag) {
        bool fallback = false;
        forEachFlag(fresh, [&](const char* n, const bool& f) {
            if (std::string_view(n) == name) fallback = f;
        });
        flag = parseFlag(store.read(kSettingsSection, name), fallback);
    });
    s.AutoSaveValue = readNumber(store, "AutoSaveValue", 1, kMaxAutoSaveChanges, 50);
    s.AutoSaveValueZeit = readNumber(store, "AutoSaveValueZeit", 1, kMaxAutoSaveMinutes, 10);
}

}  // namespace

std::optional<long long> parseStoredInteger(const std::string& text) {
    std::string_view t = text;
    while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
    while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
    bool negative = false;
    if (!t.empty() && (t.front() == '-' || t.front() == '+')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    int base = 10;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        t.remove_prefix(2);
    }
    if (t.empty() || t.size() > 15) return std::nullopt;
    long long v = 0;
    for (char c : t) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c)))
            d = std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        else
            return std::nullopt;
        v = v * base + d;
    }
    return negative ? -v : v;
}

bool parseFlag(const std::optional<std::string>& stored, bool fallback) {
    if (!stored) return fallback;
    auto n = parseStoredInteger(*stored);
    return n ? *n != 0 : fallback;
}

Settings Settings::defaults(const std::string& programDir) {
    Settings s;
    s.DatenbankPfad = programDir;
    return s;
}

Settings Settings::resetValues(const Settings& current) {
    Settings s;
    s.UserSQL = "SELECT * FROM %1";
    s.DatenbankPfad = current.DatenbankPfad;
    s.FileToLoad = current.FileToLoad;
    s.Email = current.Email;
    s.URL = current.URL;
    return s;
}

Settings readSettings(SettingsStore& store, const std::string& programDir) {
    Settings s = Settings::defaults(programDir);
    readCommon(store, s);
    // A folder written without its separator is the same folder: paths are joined to it.
    s.DatenbankPfad = store.read(kSettingsSection, "DatenbankPfad").value_or(programDir);
    if (!s.DatenbankPfad.empty()) s.DatenbankPfad = platform::withTrailingSeparator(s.DatenbankPfad);
    s.FileToLoad = store.read(kSettingsSection, "FileToLoad").value_or("");
    s.Email = store.read(kSettingsSection, "Email").value_or(s.Email);
    s.URL = store.read(kSettingsSection, "URL").value_or(s.URL);
    return s;
}

Settings rereadSettings(SettingsStore& store, const Settings& current) {
    Settings s = current;
    readCommon(store, s);
    return s;
}

void writeSettings(SettingsStore& store, const Settings& s) {
    SettingsValues values;
    values.emplace_back("DatenbankPfad", s.DatenbankPfad);
    values.emplace_back("UserSQL", s.UserSQL);
    forEachFlag(s, [&](const char* name, const bool& flag) {
        values.emplace_back(name, flag ? "1" : "0");
    });
    values.emplace_back("AutoSaveValue", std::to_string(s.AutoSaveValue));
    values.emplace_back("AutoSaveValueZeit", std::to_string(s.AutoSaveValueZeit));
    store.write(kSettingsSection, values);
}

void writeFileToLoad(SettingsStore& store, const std::string& path) {
    store.write(kSettingsSection, {{"FileToLoad", path}});
}

}  // namespace mv32::document
