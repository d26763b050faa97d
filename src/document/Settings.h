// The settings record: every setting of the program with its default, as the program holds it
// in memory for the whole run.
//
// The store keeps each value as text under its name in the section "Settings": flags as "1"/"0",
// numbers in decimal. Reading takes a value that parses as an integer (decimal, or hexadecimal
// after "0x") as on when it is not 0; a missing or unparsable value yields the default, and the
// two auto-save numbers fall back to 50 and 10 and are brought into the dialog's ranges. A data
// folder is read with its trailing separator. User-interface thread only.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "document/SettingsStore.h"

namespace mv32::document {

inline constexpr const char* kSettingsSection = "Settings";
// The ranges of the auto-save numbers, as the settings dialog takes them and as they are read.
inline constexpr int kMaxAutoSaveChanges = 9999;
inline constexpr int kMaxAutoSaveMinutes = 60;

struct Settings {
    std::string DatenbankPfad;  // folder of the file list table, with a trailing separator
    std::string UserSQL =
        "SELECT Name, Datentraeger, DatentraegerNr, Kategorie FROM %1 where "
        "Kategorie<>''";
    bool AutoSave = true;
    bool ASAender = false;
    int AutoSaveValue = 50;  // 1..9999 changes
    bool ASZeit = true;
    int AutoSaveValueZeit = 10;  // 1..60 minutes
    bool SekIndexActive = false;
    bool CreateLogFile = true;
    bool ReadLastfile = true;
    bool NoFun = false;
    bool Backup = true;
    bool ReadFilesBBS = false;
    bool ReadFileIDDIZ = false;
    bool ScanBackground = true;
    bool Hidden = true;
    // The eight catalog index settings, in the order of kSecondaryIndexes (Catalog.h):
    // DatentraegerNrInd, DatentraegerInd, LabelInd, Gesamte_GroesseInd, Freier_SpeicherInd,
    // StatusInd, KategorieInd, LaufwerkInd.
    std::array<bool, 8> indexOn{true, true, false, false, true, false, true, false};
    std::string FileToLoad;
    std::string Email = "mavrel32@example.org";
    std::string URL = "https://mavrel32.example.org/";

    // The values a fresh store yields; DatenbankPfad is the program folder on this platform.
    static Settings defaults(const std::string& programDir);
    // What "Standard wiederherstellen" puts into the dialog, starting from the current values
    // (the folder stays).
    static Settings resetValues(const Settings& current);

    // The auto-save timer's period in milliseconds.
    int autoSaveIntervalMs() const {
        return static_cast<int>(std::clamp<int64_t>(AutoSaveValueZeit, 1, kMaxAutoSaveMinutes) *
                                60000);
    }
};

// The names of the eight index settings, in the order of Settings::indexOn.
extern const std::array<const char*, 8> kIndexSettingNames;

// Reads every setting (start-up). Throws when the store cannot be read.
Settings readSettings(SettingsStore& store, const std::string& programDir);
// Reads every setting again except DatenbankPfad, FileToLoad, Email and URL, which keep the
// values of `current` (opening the settings dialog).
Settings rereadSettings(SettingsStore& store, const Settings& current);
// Writes every setting except FileToLoad, Email and URL, in one write.
void writeSettings(SettingsStore& store, const Settings& settings);
// Writes the one value FileToLoad (every open of a catalog does).
void writeFileToLoad(SettingsStore& store, const std::string& path);

// Parsing of the stored texts, shared with the dialog's number fields.
std::optional<long long> parseStoredInteger(const std::string& text);
bool parseFlag(const std::optional<std::string>& stored, bool fallback);

}  // namespace mv32::document
