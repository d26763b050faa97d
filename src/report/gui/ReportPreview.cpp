#include "report/gui/ReportPreview.h"

#include <QAction>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTimer>
#include <QToolBar>
#include <exception>

#include "report/gui/ReportPainter.h"

namespace mv32::report {

PageSize printerPage(Paper paper) {
    QPrinter printer;
    ReportSettings s;
    s.paper = paper;
    return preparePage(printer, s);
}

void showPreview(engine::Cursor& rows, const ReportSettings& settings, const PreviewHooks& hooks,
                 QWidget* parent) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName("Mavrel/32");
    const PageSize page = preparePage(printer, settings);
    QPrintPreviewDialog preview(&printer, parent);
    preview.setObjectName("Vorschau");
    preview.setWindowTitle("Mavrel/32");
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                     [&](QPrinter* target) {
                         QPainter painter(target);
                         paintReport(painter, *target, rows, settings, page);
                     });
    if (auto* bar = preview.findChild<QToolBar*>()) {
        bar->addSeparator();
        QAction* pdf = bar->addAction("Als PDF speichern...");
        pdf->setObjectName("AlsPdfSpeichern");
        QObject::connect(pdf, &QAction::triggered, &preview, [&] {
            const std::string path = hooks.askPdfPath ? hooks.askPdfPath() : std::string();
            if (path.empty()) return;
            try {
                writeReportPdf(rows, settings, path);
            } catch (const std::exception& e) {
                if (hooks.showError) hooks.showError(e.what());
            }
        });
    }
    if (hooks.shown) QTimer::singleShot(0, &preview, [&] { hooks.shown(&preview); });
    preview.exec();
}

}  // namespace mv32::report
