// Painting the printed list with Qt: the pages of report/ReportLayout drawn on any paged device
// (a printer of the preview, a PDF file), in the fonts of the list: the title in a serif face,
// bold, 20 points; the records in a sans-serif face of 8 points, the name in bold. Needs only
// Qt's GUI module, so that the table tool can write a PDF without a display.
#pragma once

#include <string>

#include "engine/Cursor.h"
#include "report/ReportLayout.h"

class QPageLayout;
class QPagedPaintDevice;
class QPainter;

namespace mv32::report {

// The device's page in mm, after giving it the paper of `settings` (Standard keeps its own) and
// no margins: the layout places everything itself.
PageSize preparePage(QPagedPaintDevice& device, const ReportSettings& settings);
// Paints every page of the list on the device (begun by `painter`); returns the page count.
int paintReport(QPainter& painter, QPagedPaintDevice& device, engine::Cursor& rows,
                const ReportSettings& settings, PageSize page);
// Writes the list as a PDF file, put in place only when complete; returns the page count.
// `page`, where given, is the paper and orientation to lay the list out for (what a print
// dialog chose), else the settings' paper upright. Throws EngineError when the file cannot be
// written, std::invalid_argument when the columns do not fit `page`. Makes the GUI application
// it needs when there is none (on the offscreen platform).
int writeReportPdf(engine::Cursor& rows, const ReportSettings& settings, const std::string& path,
                   const QPageLayout* page);
int writeReportPdf(engine::Cursor& rows, const ReportSettings& settings, const std::string& path);

}  // namespace mv32::report
