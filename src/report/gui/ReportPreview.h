// The preview of the printed list: Qt's print preview over a printer with the list's paper,
// from which the person prints through Qt's print dialog, with an added "Als PDF speichern..."
// that writes the same pages to a PDF file. The list is painted from the cursor each time the
// preview needs its pages.
#pragma once

#include <functional>
#include <string>

#include "engine/Cursor.h"
#include "report/ReportLayout.h"

class QWidget;

namespace mv32::report {

struct PreviewHooks {
    std::function<std::string()> askPdfPath;                // empty: cancelled
    std::function<void(const std::string&)> showError;      // a PDF that could not be written
    std::function<void(QWidget* preview)> shown;            // tests look at the preview here
};

// The page size the printer gives the list's paper (Standard: the printer's default).
PageSize printerPage(Paper paper);
// Shows the preview modally.
void showPreview(engine::Cursor& rows, const ReportSettings& settings, const PreviewHooks& hooks,
                 QWidget* parent);

}  // namespace mv32::report
