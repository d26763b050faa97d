#include "edit/PickLists.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "engine/EngineError.h"
#include "engine/Text.h"
#include "platform/AtomicFile.h"

namespace mv32::edit {

namespace text = engine::text;

const std::vector<std::string>& mediumTypes() {
    static const std::vector<std::string> list = {
        "CD-R", "CDROM", "CDROM/CD-R", "CD-RW", "Diskette", "DVD", "DVD-RAM", "DVD-ROM",
        "Festplatte", "Iomega Ditto", "JAZ", "JAZ2", "LS-120", "MiniDC", "MOD", "Netzwerk",
        "Nomai", "Sparq", "Streamer", "Streamer, DAT", "Streamer, DLT", "SyJet", "Syquest",
        "Wechselplatte", "ZIP", "ZIP/JAZ/MO"};
    return list;
}

const std::vector<std::string>& builtInStatus() {
    static const std::vector<std::string> list = {
        "Ältere Version", "Aussortiert", "Defekt", "Eingelagert", "Home-Edition",
        "Neueste Version", "Professionell", "Standard", "Überaltert", "Ungewiß",
        "Unvollständig", "Verkauft", "Verliehen"};
    return list;
}

const std::vector<std::string>& builtInCategories() {
    static const std::vector<std::string> list = {
        "Anti-Virus", "Astrologie-Software", "Astronomie-Software", "Backupsoftware",
        "Betriebssystem", "BIOS", "Büro-Software", "CD-R Brenner Software", "Chemi-Software",
        "Client", "Dateimanager", "Datenbankanwendung", "Datensicherheit", "Datenträgertools",
        "Deinstaller", "Demoversion", "DFÜ", "DFÜ, Anwendung", "DFÜ, Gebührenzähler",
        "DFÜ, Mailbox-Software", "DFÜ, Mailer", "DFÜ, Point-Software", "DFÜ, Remote Access Tools",
        "DFÜ, Telephonie", "DFÜ, Terminal-Software", "DFÜ, Tool", "Diagnose Tool", "Editor",
        "Elektronische Literatur", "Erotika", "Etiketten-/Labeldruck", "Explorer", "Freeware",
        "Grafik", "Grafik, Anwendung", "Grafik, Bildbearbeitung", "Grafik, CAD-/CAM-Software",
        "Grafik, Designer-Software", "Grafik, Desktop Publishing (DTP)", "Grafik, Fraktal",
        "Grafik, Raytracing", "Grafik, Vektor-", "Grafik, Videocapture", "Hilfen/Lösungen",
        "Hilfesysteme", "Informatik", "Informationssysteme", "Installationssoftware", "Internet",
        "Internet, Anwendung", "Internet, FTP-Software", "Internet, HTML-Software",
        "Internet, Provider-Software", "Internet, Web-Browser", "Internet, Web-Publishing",
        "Kalender", "Kalkulation", "Katalog", "Kommunikations-Software", "Kompressionssoftware",
        "Kopierprogramm", "Kryptosoftware", "Lernprogramme", "Lexikon", "Management",
        "Mathematik-Software", "Medizin", "Meßprogramm", "MP3 Decoder/Encoder", "MP3 Player",
        "MP3 Tools", "Musik Prog", "Nachschlagewerk (Enzyklopädie)", "Netzwerk",
        "Netzwerk, Administration", "Netzwerk, Anwendung", "Netzwerk, Client", "Netzwerk, Server",
        "Netzwerk, Tool", "Nicht einzuordnen", "OCR-Texterkennung", "Office-Software",
        "Organizer-Software", "Pay-CD", "PDF-Reader", "Physik-Software", "Präsentations-Software",
        "Programmierung", "Programmierung, Assembler", "Programmierung, BASIC",
        "Programmierung, C", "Programmierung, C++", "Programmierung, COBOL",
        "Programmierung, Delphi", "Programmierung, Fortran", "Programmierung, J++",
        "Programmierung, JAVA", "Programmierung, JAVA-Script", "Programmierung, PASCAL",
        "Programmierung, RAD-Tools", "Programmierung, Visual Basic", "Programmierung, Visual C",
        "Programmierung, Visual C++", "Programmsammlungen", "Public Domain", "Sampler",
        "Screensaver", "Searchengine", "Server", "Shareware", "Sound", "Sound, Anwendung",
        "Sound, MIDI", "Sound, Module-Editor", "Sound, Musik-Software", "Sound, VOC-Software",
        "Sound, Wave-Software", "Spiel", "Spiel, Action", "Spiel, Adventure",
        "Spiel, Flugsimulator", "Spiel, Geschicklichkeit", "Spiel, Gewalt", "Spiel, Jump and Run",
        "Spiel, Puzzle", "Spiel, Rollen-", "Spiel, Science-Fiction", "Spiel, Simulation",
        "Spiel, Sport", "Spiel, Strategie", "Spiel, Tetris", "Sprache", "Sprache, Arabisch",
        "Sprache, Chinesisch", "Sprache, Deutsch", "Sprache, Englisch", "Sprache, Französisch",
        "Sprache, Griechisch", "Sprache, Italienisch", "Sprache, Japanisch", "Sprache, Kisuaheli",
        "Sprache, Koreanisch", "Sprache, Multilingual", "Sprache, Niederländisch",
        "Sprache, Polnisch", "Sprache, Russisch", "Sprache, Spanisch", "Sprache, Tschechisch",
        "Sprache, Ungarisch", "Straßen-/Weltatlas", "System Tools", "Tabellenkalulation",
        "Textverarbeitung", "Treiber", "Treiber, CAPI", "Treiber, CDROM", "Treiber, Drucker",
        "Treiber, Fossil", "Treiber, Grafikkarte", "Treiber, ISDN", "Treiber, Joystick",
        "Treiber, Maus", "Treiber, Modem", "Treiber, Ndis", "Treiber, Netzwerk",
        "Treiber, Plotter", "Treiber, Soundkarte", "Treiber, Speicher", "Treiber, Streamer",
        "Treiber, VESA", "Treiber, Video", "Treiber, WAN/LAN", "Verwaltung",
        "Verwaltung, Adressen", "Verwaltung, Audio-Cassetten", "Verwaltung, Aufgaben",
        "Verwaltung, Auftrag", "Verwaltung, Bankleitzahlen", "Verwaltung, Bilder",
        "Verwaltung, Briefmarken", "Verwaltung, CD", "Verwaltung, Dia",
        "Verwaltung, Ein-/Ausgaben", "Verwaltung, FIBU", "Verwaltung, Finanzen",
        "Verwaltung, Formulare", "Verwaltung, Kfz", "Verwaltung, Kochrezepte",
        "Verwaltung, Lager", "Verwaltung, Literatur", "Verwaltung, Lohn und Gehalt",
        "Verwaltung, Lottozahlen", "Verwaltung, Mitglieder", "Verwaltung, Musik",
        "Verwaltung, Parfum", "Verwaltung, Postleitzahlen", "Verwaltung, Schriften",
        "Verwaltung, Software", "Verwaltung, Sporttabellen", "Verwaltung, Telefon",
        "Verwaltung, Telefonkarten", "Verwaltung, Termine", "Verwaltung, Verein",
        "Verwaltung, Versicherung", "Verwaltung, Video", "Verwaltung, Vokabel",
        "Verwaltung, Vorwahlzahlen", "Verwaltung, Zeitplaner", "Wave Grabber",
        "Wissenschaftliche Software",};
    return list;
}

// --- German dictionary order -----------------------------------------------------------------
//
// Compared in three rounds, as a dictionary does: first the letters alone (case, accents,
// hyphens and apostrophes left aside; ß as ss; spaces and other punctuation before digits,
// digits before letters), then the accents (a plain letter before its umlaut), then the case
// (lower before upper). Hyphens count only when everything else is equal, so "CD-RW" follows
// "CDROM" as in every German word list.

namespace {

struct Letter {
    char32_t base;  // the plain lower-case letter, or 0
    bool accent;
};

Letter latinBase(char32_t lower) {
    static const struct {
        char32_t from, to;
    } table[] = {{U'à', 'a'}, {U'á', 'a'}, {U'â', 'a'}, {U'ã', 'a'}, {U'ä', 'a'}, {U'å', 'a'},
                 {U'ç', 'c'}, {U'è', 'e'}, {U'é', 'e'}, {U'ê', 'e'}, {U'ë', 'e'}, {U'ì', 'i'},
                 {U'í', 'i'}, {U'î', 'i'}, {U'ï', 'i'}, {U'ñ', 'n'}, {U'ò', 'o'}, {U'ó', 'o'},
                 {U'ô', 'o'}, {U'õ', 'o'}, {U'ö', 'o'}, {U'ø', 'o'}, {U'ù', 'u'}, {U'ú', 'u'},
                 {U'û', 'u'}, {U'ü', 'u'}, {U'ý', 'y'}, {U'ÿ', 'y'}};
    if (lower >= 'a' && lower <= 'z') return {lower, false};
    for (const auto& e : table)
        if (e.from == lower) return {e.to, true};
    return {0, false};
}

struct SortKey {
    std::vector<uint32_t> primary;
    std::vector<uint8_t> accents;
    std::vector<uint8_t> cases;
};

SortKey sortKey(const std::string& s) {
    SortKey k;
    for (size_t i = 0; i < s.size();) {
        size_t len = 1;
        const char32_t cp = text::decodeAt(s, i, &len);
        i += len;
        if (cp == '-' || cp == '\'') continue;
        const char32_t lower = text::toLower(cp);
        const bool upper = lower != cp;
        if (lower == U'ß') {
            k.primary.insert(k.primary.end(), {0x20000u + 's', 0x20000u + 's'});
            k.accents.insert(k.accents.end(), {1, 1});
            k.cases.insert(k.cases.end(), {0, 0});
            continue;
        }
        const Letter l = latinBase(lower);
        if (l.base) {
            k.primary.push_back(0x20000u + l.base);
        } else if (cp >= '0' && cp <= '9') {
            k.primary.push_back(0x10000u + cp);
        } else if (upper || text::toUpper(cp) != cp) {
            k.primary.push_back(0x30000u + lower);  // letters of other alphabets
        } else {
            k.primary.push_back(cp < 0x10000 ? cp : 0xFFFFu);  // spaces and punctuation
        }
        k.accents.push_back(l.accent ? 1 : 0);
        k.cases.push_back(upper ? 1 : 0);
    }
    return k;
}

}  // namespace

bool germanLess(const std::string& a, const std::string& b) {
    const SortKey ka = sortKey(a);
    const SortKey kb = sortKey(b);
    if (ka.primary != kb.primary) return ka.primary < kb.primary;
    if (ka.accents != kb.accents) return ka.accents < kb.accents;
    if (ka.cases != kb.cases) return ka.cases < kb.cases;
    return a < b;
}

void sortGerman(std::vector<std::string>& list) {
    std::vector<std::pair<SortKey, std::string>> keyed;
    keyed.reserve(list.size());
    for (auto& s : list) keyed.emplace_back(sortKey(s), std::move(s));
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& x, const auto& y) {
        if (x.first.primary != y.first.primary) return x.first.primary < y.first.primary;
        if (x.first.accents != y.first.accents) return x.first.accents < y.first.accents;
        if (x.first.cases != y.first.cases) return x.first.cases < y.first.cases;
        return x.second < y.second;
    });
    for (size_t i = 0; i < list.size(); ++i) list[i] = std::move(keyed[i].second);
}

// --- List files ------------------------------------------------------------------------------

std::optional<std::string> readListText(const std::string& path) {
    const auto read = platform::readWholeFile(path);
    if (!read) return std::nullopt;
    const std::string& bytes = *read;
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        out += bytes[i];
    }
    return text::fromWindows1252(out);
}

std::optional<std::vector<std::string>> readListFile(const std::string& path) {
    auto t = readListText(path);
    if (!t) return std::nullopt;
    std::vector<std::string> lines;
    std::istringstream in(*t);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

void writeListText(const std::string& path, const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out += text::toWindows1252(line);
        out += "\r\n";
    }
    try {
        platform::writeFileAtomically(path, out);
    } catch (const engine::EngineError& e) {
        throw std::runtime_error("Die Liste »" + path + "« kann nicht gespeichert werden: " +
                                 (e.reason().empty() ? std::string(e.what()) : e.reason()) + ".");
    }
}

std::vector<std::string> pickList(const std::string& path,
                                  const std::vector<std::string>& builtIn) {
    auto lines = readListFile(path);
    std::vector<std::string> list = lines ? std::move(*lines) : builtIn;
    sortGerman(list);
    return list;
}

}  // namespace mv32::edit
