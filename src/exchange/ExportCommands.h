// The export and import commands of the menus, without their dialogs: after the options dialog
// they ask for the file (the save dialog preset with the catalog's name, the extension added,
// a file of the catalog itself refused, the question before an existing file is replaced),
// hold auto-save, show the progress bar and the busy animation, run the writer and report a
// failure with "Fehler: " and the message.
//
// The catalog exports read the catalog in name order (the catalog is left in that order, as
// the overview's name sort shows it) through a cursor of their own, so the windows over the
// catalog do not follow every record. User-interface thread only.
#pragma once

#include <functional>
#include <string>

#include "document/CatalogDocument.h"
#include "document/DataSource.h"
#include "engine/Cursor.h"
#include "exchange/ExportChoice.h"
#include "report/ReportLayout.h"

namespace mv32::exchange {

class ExportCommands {
public:
    // `catalog` is the catalog's data source, told when an import changed the records.
    ExportCommands(document::CatalogDocument& doc, document::DataSource& catalog)
        : doc_(doc), catalog_(catalog) {}

    // Whether an export may start now: a catalog is open and the tree is not being built.
    bool possible() const;
    // "&Ok" of the text export's dialog; `result` is a search result, null for the catalog.
    void textExport(const ExportChoice& choice, engine::Cursor* result = nullptr);
    // "&Ok" of the HTML export's dialog.
    void htmlExport(const ExportChoice& choice);
    // "d&Base IV-Dateien (*.DBF)".
    void dbaseExport();
    // "Mavrel32-Dateien (*.DB)": merges another catalog into the open one.
    void importCatalog();
    // Whether `path` may be written: a file of the open catalog, of the file list or of the
    // undo table is refused with a message naming it ("Fehler"). The exports, "Als PDF
    // speichern" and the print dialog's file output ask this before anything is written.
    bool targetAllowed(const std::string& path);
    // "Als PDF speichern..." of the preview: the save dialog preset with the catalog's name,
    // ".PDF" added, the refusal of the catalog's own files, the question before an existing file
    // is replaced; empty when the person cancelled or the file was refused.
    std::string askPdfTarget();
    // "OK" of the print settings: the fields read for a page of `page`'s size (a field that is no
    // whole number, or columns that do not fit, give their message and nothing is printed),
    // then `preview` shows the list of `result` (null: the catalog in its current order).
    // `preview` answers false when no output at all can be made.
    using Preview = std::function<bool(engine::Cursor& rows, const report::ReportSettings&)>;
    void print(const std::string& margin, const std::string& columns, report::Paper paper,
               report::PageSize page, engine::Cursor* result, const Preview& preview);

private:
    // The save dialog and the overwrite question; empty when the person cancelled.
    std::string askTarget(const char* title, const char* filter, const char* ext);
    template <typename Write>
    void run(const std::string& path, bool busy, Write&& write);

    document::CatalogDocument& doc_;
    document::DataSource& catalog_;
};

}  // namespace mv32::exchange
