// The program's commands, each defined once: its object name, its handler, its help context,
// the rule that shows or enables it, and on each surface (menu bar, context menu, toolbar) its
// caption and key. The main window builds its menus, its context menu and its toolbar from
// these tables and asks visibleIn() for every state; it adds nothing of its own but icons.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "document/UserInterface.h"

namespace mv32::app {

enum class Command {
    Neu,
    Oeffnen,
    Speichern,
    SpeichernUnter,
    Schliessen,
    Loeschen,
    ImportMv,
    ImportDb,
    ExportAscii,
    ExportDbf,
    ExportMv,
    ExportHtml,
    Beenden,
    Undo,
    UndoFast,
    Eingabe,
    Treeview,
    DBUebersicht,
    Scannen,
    Entfernen,
    GrosseSuche,
    FreienSpeicher,
    Bereich,
    DateiSuchen,
    Drucken,
    Einstellungen,
    UserSql,
    Hilfe,
    HilfeSeite,  // one of the help menu's pages
    Info,
    // The notification-area icon's menu.
    Systeminfos,
    Wiederherstellen,
    Verlassen,
};

// When an item shows (or, for Disabled, can be chosen).
enum class Rule {
    Always,
    WithCatalog,   // only while a catalog is open
    WithFileList,  // only while the file list exists (the file search)
    WithCatalogOrFileList,
    Disabled,  // shown, not yet to be chosen
    WithJournal,  // shown, chosen only while the undo journal holds an entry
};

bool visibleIn(Rule rule, document::ControlState state, bool fileList);
bool enabledBy(Rule rule, bool journalHasEntries = false);

// An item of the menu bar.
struct CommandDef {
    Command id;
    const char* objectName;
    const char* caption;
    const char* key;  // "" for none
    const char* hint;
    int helpContext;
    Rule rule = Rule::Always;
    // A key another item answers, shown in this item's caption only (F7, Ctrl+B, Ctrl+F).
    const char* sharedKey = nullptr;
    const char* page = nullptr;  // HilfeSeite: the page
};

// An entry of a menu: an item, a separator, a submenu or the list of recent files.
struct MenuEntry {
    enum class Kind { Item, Separator, Submenu, RecentFiles };
    Kind kind = Kind::Item;
    const char* objectName = nullptr;  // the item's (see commandDef), a separator's or submenu's
    const char* caption = nullptr;     // submenu
    Rule rule = Rule::Always;
    std::vector<MenuEntry> entries;  // submenu
};

struct MenuDef {
    const char* objectName;
    const char* caption;
    Rule rule;
    std::vector<MenuEntry> entries;
};

// The context menu's own captions and keys; a key marked `windowKey` answers in the whole
// window while a catalog is open, because no menu bar item has it.
struct PopupItem {
    Command id;
    const char* caption;
    const char* key = nullptr;
    bool windowKey = false;
    const char* objectName = nullptr;
    Rule rule = Rule::Always;
    const char* submenu = nullptr;  // "Import" or "Export"
    bool separatorBefore = false;
};

struct ButtonDef {
    const char* objectName;
    const char* caption;
    const char* section;
    const char* hint;
    Command id;
    Rule rule;
};

const std::vector<CommandDef>& commands();
const CommandDef& commandDef(const char* objectName);
const std::vector<MenuDef>& menuBar();
const std::vector<PopupItem>& popupMenu();
const std::array<ButtonDef, 10>& toolbar();

// The menu of the notification-area icon.
struct TrayItem {
    Command id;
    const char* caption;
    Rule rule = Rule::Always;
};
const std::vector<TrayItem>& trayMenu();
inline constexpr int kRecentFiles = 5;

// The positions of the toolbar buttons in the two states (dots per inch above 100 or not);
// -1 for a hidden button.
std::array<int, 10> toolbarPositions(document::ControlState state, bool highDpi);

}  // namespace mv32::app
