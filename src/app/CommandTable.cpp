#include "app/CommandTable.h"

#include <cstring>
#include <stdexcept>

namespace mv32::app {

using document::ControlState;
using K = MenuEntry::Kind;

bool visibleIn(Rule rule, ControlState state, bool fileList) {
    const bool open = state == ControlState::CatalogOpen;
    switch (rule) {
        case Rule::WithCatalog:
            return open;
        case Rule::WithFileList:
            return fileList;
        case Rule::WithCatalogOrFileList:
            return open || fileList;
        case Rule::Always:
        case Rule::Disabled:
        case Rule::WithJournal:
            return true;
    }
    return true;
}

bool enabledBy(Rule rule, bool journalHasEntries) {
    if (rule == Rule::WithJournal) return journalHasEntries;
    return rule != Rule::Disabled;
}

const std::vector<CommandDef>& commands() {
    static const std::vector<CommandDef> table = {
        // &Datei
        {Command::Neu, "Neu1", "&Neu...", "Ctrl+N", "Datei neu anlegen", 10},
        {Command::Oeffnen, "Oeffnen1", "Ö&ffnen...", "F2", "Datei öffnen", 11},
        {Command::Speichern, "Speichern1", "&Speichern", "F3", "Aktuelle Datei speichern", 13,
         Rule::WithCatalog},
        {Command::SpeichernUnter, "Speichernunter1", "Speichern &unter...", "F12",
         "Datei unter anderem Namen speichern", 14, Rule::WithCatalog},
        {Command::Schliessen, "Schliessen1", "S&chließen", "F4", "Datei schließen", 15,
         Rule::WithCatalog},
        {Command::Loeschen, "Loeschen1", "&Löschen", "Ctrl+L", "Datei löschen", 16,
         Rule::WithCatalog},
        {Command::ImportMv, "ImportItem", "Mavrel-Dateien (*.MV)", "Ctrl+O", "Dateien importieren",
         18, Rule::WithCatalog},
        {Command::ImportDb, "ImportDBItem", "Mavrel32-Dateien (*.DB)", "", "", 27, Rule::Always,
         "Ctrl+B"},
        {Command::ExportAscii, "ExpASCIIItem", "&ASCII-Dateien (*.TXT)", "Ctrl+A",
         "Daten in ASCII Dateiformat exportieren", 42},
        {Command::ExportDbf, "ExpDBFItem", "d&Base IV-Dateien (*.DBF)", "",
         "Daten in dBase IV Dateiformat exportieren", 43, Rule::Always, "Ctrl+F"},
        {Command::ExportMv, "ExpMVItem", "Mavrel-Dateien (*.MV)", "Ctrl+I", "", 26},
        {Command::ExportHtml, "ExpHTMLItem", "HTML-Dateien (*.HTML)", "Ctrl+H", "", 12},
        {Command::Beenden, "Beenden1", "&Beenden...", "Alt+F4", "Mavrel verlassen", 17},
        // &Bearbeiten
        {Command::Undo, "Undo1", "Undo...", "Ctrl+U", "", 20, Rule::WithJournal},
        {Command::UndoFast, "UndoFast1", "Undo FAST!", "F11", "", 21, Rule::WithJournal},
        {Command::Eingabe, "Eingabe1", "&Eingabe...", "F5", "Neues Programm eingeben", 22},
        {Command::Treeview, "Treeview1", "&Treeview", "Ctrl+T",
         "Zeigt eine Übersicht anhand bestehender Kategorien auf", 23},
        {Command::DBUebersicht, "DBUebersicht1", "&DB-Übersicht", "F8", "", 24},
        // Datenträger
        {Command::Scannen, "Scannen1", "Scannen", "", "", 25, Rule::Always, "F7"},
        {Command::Entfernen, "Entfernen1", "Entfernen", "Ctrl+X", "", 25},
        // &Suchen
        {Command::GrosseSuche, "GrosseSuche1", "&Suchen (große Suche)...", "F6",
         "Umfangreiche Suche nach bis zu 10 Kriterien", 30, Rule::WithCatalog},
        {Command::FreienSpeicher, "FreienSpeicher1", "&Freien Speicher suchen...", "Ctrl+F",
         "Freien Speicher auffinden", 32, Rule::WithCatalog},
        {Command::Bereich, "Bereich1", "&Bereich der Datenträger-Nr. durchsuchen...", "Ctrl+B",
         "Angegebene Bereiche der Datenträgernummern durchsuchen", 33, Rule::WithCatalog},
        {Command::DateiSuchen, "DateiSuchen1", "&Datei suchen...", "Ctrl+D", "Dateisuche", 31,
         Rule::WithFileList},
        // Dr&ucken
        {Command::Drucken, "Drucken2", "Drucken...", "Ctrl+P", "QuickReport zum Drucken benutzen",
         40},
        // &Extras
        {Command::Einstellungen, "Einstellungen1", "&Einstellungen...", "F7",
         "Programmeinstellungen", 53},
        {Command::UserSql, "UserSQL1", "Execute User SQL", "F9", "", 54},
        // &Hilfe
        {Command::Hilfe, "Hilfe2", "&Hilfe", "F1", "Kontextsensitive Onlinehilfe zum Programm", 50},
        {Command::HilfeSeite, "Deinstallation1", "Deinstallation", "", "", 50, Rule::Always,
         nullptr, "h_deinstallation.html"},
        {Command::HilfeSeite, "Haftung1", "Haftung", "", "", 50, Rule::Always, nullptr,
         "h_haftung.html"},
        {Command::HilfeSeite, "FAQ1", "FAQ - Frequently Asked Questions", "", "", 50, Rule::Always,
         nullptr, "h_faq.html"},
        {Command::HilfeSeite, "Systembedingungen1", "Systembedingungen", "", "", 50, Rule::Always,
         nullptr, "h_hard.html"},
        {Command::HilfeSeite, "AeltereVersionen1", "Umgang mit älteren Versionen", "", "", 50,
         Rule::Always, nullptr, "h_old_version.html"},
        {Command::HilfeSeite, "Autor1", "Über den Autor", "", "", 50, Rule::Always, nullptr,
         "h_autor.html"},
        {Command::Info, "Info1", "Inf&o", "", "Info zum Programm", 52},
    };
    return table;
}

const CommandDef& commandDef(const char* objectName) {
    for (const auto& c : commands()) {
        if (std::strcmp(c.objectName, objectName) == 0) return c;
    }
    throw std::logic_error(std::string("unbekannter Befehl ") + objectName);
}

namespace {

MenuEntry item(const char* name) {
    return {K::Item, name, nullptr, Rule::Always, {}};
}
MenuEntry separator(const char* name = nullptr, Rule rule = Rule::Always) {
    return {K::Separator, name, nullptr, rule, {}};
}

}  // namespace

const std::vector<MenuDef>& menuBar() {
    static const std::vector<MenuDef> bar = {
        {"Datei1",
         "&Datei",
         Rule::Always,
         {item("Neu1"),
          item("Oeffnen1"),
          separator("N1", Rule::WithCatalog),
          item("Speichern1"),
          item("Speichernunter1"),
          item("Schliessen1"),
          item("Loeschen1"),
          {K::Submenu,
           "Import1",
           "Import",
           Rule::WithCatalog,
           {item("ImportItem"), item("ImportDBItem")}},
          {K::Submenu,
           "Export1",
           "Export",
           Rule::WithCatalog,
           {item("ExpASCIIItem"), item("ExpDBFItem"), item("ExpMVItem"), item("ExpHTMLItem")}},
          separator(),
          item("Beenden1"),
          {K::RecentFiles, "MRU", nullptr, Rule::Always, {}}}},
        {"Bearbeiten1",
         "&Bearbeiten",
         Rule::WithCatalog,
         {item("Undo1"), item("UndoFast1"), separator(), item("Eingabe1"), item("Treeview1"),
          item("DBUebersicht1")}},
        {"Datentraeger1", "Datenträger", Rule::Always, {item("Scannen1"), item("Entfernen1")}},
        {"Suchen1",
         "&Suchen",
         Rule::WithCatalogOrFileList,
         {item("GrosseSuche1"), item("FreienSpeicher1"), item("Bereich1"), item("DateiSuchen1")}},
        {"Drucken1", "Dr&ucken", Rule::WithCatalog, {item("Drucken2")}},
        {"Extras1", "&Extras", Rule::Always, {item("Einstellungen1"), item("UserSQL1")}},
        {"Hilfe1",
         "&Hilfe",
         Rule::Always,
         {item("Hilfe2"), separator(), item("Deinstallation1"), item("Haftung1"), item("FAQ1"),
          item("Systembedingungen1"), item("AeltereVersionen1"), item("Autor1"), separator(),
          item("Info1")}},
    };
    return bar;
}

const std::vector<PopupItem>& popupMenu() {
    static const std::vector<PopupItem> popup = {
        {Command::Eingabe, "&Eingabe...", "F5"},
        {Command::Treeview, "Treeview", "F8"},
        {Command::DBUebersicht, "DB-Übersicht"},
        {Command::GrosseSuche, "&Suchen (große Suche)...", "F6", false, nullptr, Rule::Always,
         nullptr, true},
        {Command::FreienSpeicher, "Freien Speicher suchen...", "Ctrl+F"},
        {Command::Bereich, "&Bereich der Datenträger-Nr. durchsuchen...", "Ctrl+B"},
        {Command::DateiSuchen, "Datei suchen...", "Ctrl+D", false, "PopupDateiSuchen",
         Rule::WithFileList},
        {Command::Drucken, "Dr&ucken...", "Alt+P", true, nullptr, Rule::Always, nullptr, true},
        {Command::ImportMv, "Mavrel-Dateien (*.MV) ...", "Ctrl+M", true, nullptr, Rule::Always,
         "Import", true},
        {Command::ImportDb, "Mavrel32-Dateien (*.DB) ...", nullptr, false, nullptr, Rule::Always,
         "Import"},
        {Command::ExportMv, "Mavrel-Dateien (*.MV) ...", nullptr, false, nullptr, Rule::Always,
         "Export"},
        {Command::ExportAscii, "&ASCII-Dateien (*.TXT) ...", "Ctrl+A", false, nullptr, Rule::Always,
         "Export"},
        {Command::ExportDbf, "d&Base IV-Dateien (*.DBF) ...", "Ctrl+E", true, nullptr, Rule::Always,
         "Export"},
        {Command::ExportHtml, "HTML-Dateien (*.HTML) ...", nullptr, false, nullptr, Rule::Always,
         "Export"},
    };
    return popup;
}

const std::array<ButtonDef, 10>& toolbar() {
    static const std::array<ButtonDef, 10> buttons = {{
        {"OeffnenBtn", "Öffnen", "Datei", "Öffnen", Command::Oeffnen, Rule::Always},
        {"SpeichernBtn", "Speichern", "Datei", "Speichern", Command::Speichern, Rule::WithCatalog},
        {"ScanBtn", "Scannen", "Bearbeiten", "Laufwerk scannen", Command::Scannen, Rule::Always},
        {"EingabeBtn", "Eingabe", "Bearbeiten", "Eingabe", Command::Eingabe, Rule::WithCatalog},
        {"UebersichtBtn", "Übersicht", "Bearbeiten", "Übersicht", Command::DBUebersicht,
         Rule::WithCatalog},
        {"SuchenBtn", "Suchen", "Suchen", "Suchen", Command::GrosseSuche, Rule::WithCatalog},
        {"DruckenBtn", "Drucken", "Drucken", "Drucken", Command::Drucken, Rule::WithCatalog},
        {"EinstellBtn", "Einstell.", "Extras", "Programmeinstellungen", Command::Einstellungen,
         Rule::Always},
        {"HilfeBtn", "Hilfe", "Hilfe", "Hilfe", Command::Hilfe, Rule::Always},
        {"BeendenBtn", "Beenden", "Beenden", "Beenden", Command::Beenden, Rule::Always},
    }};
    return buttons;
}

const std::vector<TrayItem>& trayMenu() {
    static const std::vector<TrayItem> tray = {
        {Command::Systeminfos, "MV32 &Systeminfos", Rule::Disabled},
        {Command::Wiederherstellen, "MV32 wieder &herstellen"},
        {Command::Verlassen, "MV32 &schließen"},
    };
    return tray;
}

std::array<int, 10> toolbarPositions(ControlState state, bool highDpi) {
    if (state == ControlState::CatalogOpen) return {3, 60, 117, 174, 231, 288, 345, 402, 459, 516};
    // Öffnen stays; Scannen, Einstell., Hilfe, Beenden move together. Hidden buttons keep -1.
    if (highDpi) return {3, -1, 70, -1, -1, -1, -1, 135, 200, 265};
    return {3, -1, 60, -1, -1, -1, -1, 115, 170, 225};
}

}  // namespace mv32::app
