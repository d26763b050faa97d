// The preview of the printed list: a window of the program showing the pages on the paper of
// "QuickReport Druckeinstellungen", always upright, with buttons to leaf and zoom, "Drucken..."
// and "Als PDF speichern...". It offers no page controls of its own: the page is the settings
// dialog's. Where the system's print dialog chooses other paper or the landscape orientation,
// the list is laid out again for that page before it is printed, so nothing falls off it.
// User-interface thread only.
#pragma once

#include <functional>
#include <string>

#include "engine/Cursor.h"
#include "report/ReportLayout.h"

class QPrinter;
class QWidget;

namespace mv32::report {

struct PreviewHooks {
    std::function<std::string()> askPdfPath;                // empty: cancelled
    std::function<void(const std::string&)> showError;      // what could not be printed or written
    std::function<void(QWidget* preview)> shown;            // tests look at the preview here
    // The file the print dialog proposes for printing into a file (the job name "Mavrel/32"
    // would make Qt propose a folder "Mavrel").
    std::string printFileName;
    // Whether the file the print dialog was told to print into may be written; a file that
    // must not (one of the catalog's own files) is refused with a message there.
    std::function<bool(const std::string& path)> targetAllowed;
    // Tests stand in for the system's print dialog here: it sets the printer up and says
    // whether to print. Without it the print dialog is shown.
    std::function<bool(QPrinter&)> printDialog;
};

// The page size the printer gives the list's paper (Standard: the printer's default).
PageSize printerPage(Paper paper);
// Shows the preview modally.
void showPreview(engine::Cursor& rows, const ReportSettings& settings, const PreviewHooks& hooks,
                 QWidget* parent);
// Prints the list on a printer as the print dialog left it: laid out for the paper and the
// orientation chosen there, with the settings' margin and columns. Returns the page count;
// throws std::invalid_argument (German) when the columns do not fit that page.
int printOn(QPrinter& printer, engine::Cursor& rows, const ReportSettings& settings);

}  // namespace mv32::report
