// What the entry window "Programmdaten editieren" does, without the window: its bound boxes over
// the main window's catalog data source, the name rule, the entry stamp, the carry-over of the
// navigator's Add, the drive information, the size displays and the fill gauge, the picture and
// the pick lists. The window (edit/gui/Programmdateneingeben) lays out the boxes, shows what
// this class tells it and passes on what the person does.
//
// Name rule: before most actions, an empty program name cancels the catalog's pending insert
// or edit without a message, so no record is saved from this window without a name.
//
// Carry-over: Add copies what the boxes show of medium number, count, "von", medium type,
// status and category into six hidden boxes; every new catalog record, whoever starts it,
// receives them (MV32AfterInsert) until the window is shown again, which empties them. The
// first value that does not fit its field ends the carry-over silently.
//
// User-interface thread only.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "document/BoundFields.h"
#include "document/CatalogDocument.h"
#include "document/DataSource.h"
#include "edit/RecordNavigator.h"
#include "platform/Volumes.h"

namespace mv32::edit {

// The boxes of the window the core speaks of; the first 14 are bound to catalog fields.
enum class Box {
    NameEdit,
    MediumNrEdit,
    Anzahl1,
    Anzahl2,
    Medium,
    VolLabel,
    VolID,
    Status,
    DateTime,
    Kategorie,
    MemoEdit,
    groesse2,
    freespace2,
    LW,
    // Shown only: the size displays.
    Groesse,
    Freespace,
};
inline constexpr int kBoundBoxes = 14;

enum class EntryPage { Allgemein, Datentraeger, KategorieStatus, Memo, Graphik };
enum class ListKind { Kategorie, Status };

inline constexpr const char* kNoMediumInDrive =
    "Es befindet sich kein Datenträger in diesem Laufwerk!";
inline constexpr const char* kNotAValidDrive = "Not a valid drive ID";
inline constexpr const char* kNoCategoryFile =
    "Die erforderliche Kategorie-Datei ist nicht vorhanden!";
inline constexpr const char* kNoStatusFile = "Die erforderliche Status-Datei ist nicht vorhanden!";

// "5.3.1999 -- 9:7:30".
std::string stampText(const platform::LocalTime& t);
// What a size display shows for a raw byte count text; nullopt leaves the display as it was.
std::optional<std::string> sizeDisplay(const std::string& raw);
// The fill gauge (0..100) for the raw total and free texts; 0 where they are no numbers.
int fillGauge(const std::string& total, const std::string& free);

class EntryForm : public document::DataLink {
public:
    struct Services {
        document::CatalogDocument& doc;
        document::DataSource& catalog;  // MV32DS
        platform::LetterMemory letters;
        std::function<void()> scan;      // the main window's scan command
        std::function<void()> overview;  // the overview window on the catalog
        // Made from the overview's double click, the window neither shows the entry stamp nor
        // reads the list files: it keeps its built-in pick lists until "Liste editieren".
        bool prepare = true;
    };
    // What the window does when the core says so.
    struct View {
        std::function<void(Box, const std::string&)> show;
        std::function<void(int)> gauge;
        std::function<void(char)> selectDrive;  // the drive list follows LW
        std::function<void(EntryPage)> showPage;
        std::function<void()> focusName;
        std::function<void(ListKind, const std::vector<std::string>&)> pickList;
        std::function<void()> showPicture;  // the picture field may have changed
    };

    // Creating the window: captures the entry stamp; prepared, shows it and loads the pick
    // lists from their files.
    EntryForm(Services services, View view);
    ~EntryForm() override;
    EntryForm(const EntryForm&) = delete;
    EntryForm& operator=(const EntryForm&) = delete;

    const std::string& text(Box b) const;
    // The person typed into a bound box.
    void typed(Box b, const std::string& text);
    document::BoundFields& fields() { return fields_; }

    // The name rule.
    void nameRule();
    // The navigator's BeforeProcessClick.
    void beforeNavigatorClick(NavButton b);
    // MV32AfterInsert's part: the carry-over values into the new record of `table`.
    void applyCarryOver(engine::Table& table);
    const std::array<std::string, 6>& carryOver() const { return hist_; }
    // The window is shown: the carry-over is emptied.
    void shown();
    // "&Schließen", Esc, the system menu, hiding, losing activation.
    void closing() { nameRule(); }

    // "&Informationen einholen" for the drive with this letter.
    void driveInformation(char letter);
    // The drive list changed or got the focus.
    void driveChosen(char letter);
    std::vector<platform::Volume> drives() const;

    // The picture file box: a file was chosen or typed.
    void pictureChosen(const std::string& name);
    // The picture's bytes (empty without one).
    std::string picture() const;

    void scanDrive();
    void openOverview();
    // "Liste editieren": the list file's path when it exists, else the error and nullopt.
    std::optional<std::string> listToEdit(ListKind kind);
    // Loads a pick list again from its file (after its editor's "&OK").
    void reloadList(ListKind kind);
    std::string listPath(ListKind kind) const;

    // The picture follows the record.
    void activeChanged(document::DataSource&) override { picture_(); }
    void dataSetChanged(document::DataSource&, document::DataChange) override { picture_(); }
    void editingChanged(document::DataSource&) override { picture_(); }

private:
    void picture_() {
        if (v_.showPicture) v_.showPicture();
    }
    void shownText(Box b, const std::string& text);

    Services s_;
    View v_;
    document::BoundFields fields_;
    std::array<int, kBoundBoxes> ids_{};
    std::array<std::string, kBoundBoxes> texts_;
    std::array<std::string, 6> hist_;  // HistDatentraegerNr … HistKategorie
};

}  // namespace mv32::edit
