#include "report/gui/ReportPreview.h"

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <exception>
#include <memory>
#include <optional>

#include "report/gui/ReportPainter.h"

namespace mv32::report {

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

// The page of a printer as it is set up, in mm, with no margins: the layout places everything.
PageSize pageOf(QPrinter& printer) {
    printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    const QRectF full = printer.pageLayout().fullRect(QPageLayout::Millimeter);
    return {full.width(), full.height()};
}

class TReportPreview : public QDialog {
public:
    TReportPreview(engine::Cursor& rows, const ReportSettings& settings, const PreviewHooks& hooks,
                   QWidget* parent)
        : QDialog(parent), rows_(rows), settings_(settings), hooks_(hooks),
          printer_(QPrinter::HighResolution) {
        setObjectName("Vorschau");
        setWindowTitle("Mavrel/32");
        printer_.setDocName("Mavrel/32");
        page_ = preparePage(printer_, settings_);
        view_ = new QPrintPreviewWidget(&printer_, this);
        view_->setObjectName("VorschauSeiten");
        view_->setAccessibleName("Seiten");
        connect(view_, &QPrintPreviewWidget::paintRequested, this, [this](QPrinter* target) {
            QPainter painter(target);
            paintReport(painter, *target, rows_, settings_, page_);
        });
        connect(view_, &QPrintPreviewWidget::previewChanged, this, [this] { showPageNumber(); });

        auto* bar = new QToolBar(this);
        bar->setObjectName("VorschauLeiste");
        bar->setAccessibleName("Vorschau");
        // Leafing and zooming show pictures (their captions name them for screen readers), so
        // that the commands fit beside them.
        add(bar, "Erste Seite", "ErsteSeite", [this] { view_->setCurrentPage(1); },
            QStyle::SP_MediaSkipBackward);
        add(bar, "Vorige Seite", "VorigeSeite",
            [this] { view_->setCurrentPage(view_->currentPage() - 1); },
            QStyle::SP_MediaSeekBackward);
        add(bar, "Nächste Seite", "NaechsteSeite",
            [this] { view_->setCurrentPage(view_->currentPage() + 1); },
            QStyle::SP_MediaSeekForward);
        add(bar, "Letzte Seite", "LetzteSeite",
            [this] { view_->setCurrentPage(view_->pageCount()); }, QStyle::SP_MediaSkipForward);
        pageNumber_ = new QLabel(bar);
        pageNumber_->setObjectName("SeiteVon");
        bar->addWidget(pageNumber_);
        bar->addSeparator();
        add(bar, "Ganze Seite", "GanzeSeite", [this] { view_->fitInView(); },
            QStyle::SP_TitleBarNormalButton);
        add(bar, "Seitenbreite", "Seitenbreite", [this] { view_->fitToWidth(); },
            QStyle::SP_ToolBarHorizontalExtensionButton);
        add(bar, "Vergrößern", "Vergroessern", [this] { view_->zoomIn(); }, QStyle::SP_ArrowUp);
        add(bar, "Verkleinern", "Verkleinern", [this] { view_->zoomOut(); },
            QStyle::SP_ArrowDown);
        bar->addSeparator();
        add(bar, "Drucken...", "DruckenBtn", [this] { print(); });
        add(bar, "Als PDF speichern...", "AlsPdfSpeichern", [this] { savePdf(); });
        bar->addSeparator();
        add(bar, "Schließen", "SchliessenBtn", [this] { reject(); });
        connect(view_, &QPrintPreviewWidget::previewChanged, this, [this] {
            view_->setFocus();  // the keys leaf through the pages
        });

        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(bar);
        layout->addWidget(view_, 1);
        resize(820, 900);
    }

private:
    template <typename F>
    void add(QToolBar* bar, const char* caption, const char* name, F&& act,
             std::optional<QStyle::StandardPixmap> icon = std::nullopt) {
        QAction* a = bar->addAction(QString::fromUtf8(caption));
        a->setObjectName(name);
        if (icon) a->setIcon(style()->standardIcon(*icon));
        connect(a, &QAction::triggered, this, std::forward<F>(act));
    }

    void showPageNumber() {
        pageNumber_->setText(
            QString("  Seite %1 von %2  ").arg(view_->currentPage()).arg(view_->pageCount()));
    }

    void error(const std::string& text) {
        if (hooks_.showError) hooks_.showError(text);
    }

    void print() {
        // A printer of its own: what the print dialog changes there leaves the preview as it is.
        QPrinter printer(QPrinter::HighResolution);
        printer.setDocName("Mavrel/32");
        preparePage(printer, settings_);
        if (!hooks_.printFileName.empty()) {
            printer.setOutputFileName(q(hooks_.printFileName));
            // A printer where there is one; printing into the proposed file where there is none.
            const QString standard = QPrinterInfo::defaultPrinterName();
            if (!standard.isEmpty()) printer.setPrinterName(standard);
        }
        bool go = false;
        if (hooks_.printDialog) {
            go = hooks_.printDialog(printer);
        } else {
            QPrintDialog dialog(&printer, this);
            dialog.setObjectName("DruckDialog");
            go = dialog.exec() == QDialog::Accepted;
        }
        if (!go) return;
        const std::string target = printer.outputFileName().toStdString();
        if (!target.empty() && hooks_.targetAllowed && !hooks_.targetAllowed(target)) return;
        try {
            printOn(printer, rows_, settings_);
        } catch (const std::exception& e) {
            error(e.what());
        }
    }

    void savePdf() {
        const std::string path = hooks_.askPdfPath ? hooks_.askPdfPath() : std::string();
        if (path.empty()) return;
        try {
            writeReportPdf(rows_, settings_, path);
        } catch (const std::exception& e) {
            error(e.what());
        }
    }

    engine::Cursor& rows_;
    ReportSettings settings_;
    const PreviewHooks& hooks_;
    QPrinter printer_;
    PageSize page_;
    QPrintPreviewWidget* view_ = nullptr;
    QLabel* pageNumber_ = nullptr;
};

}  // namespace

PageSize printerPage(Paper paper) {
    QPrinter printer;
    ReportSettings s;
    s.paper = paper;
    return preparePage(printer, s);
}

int printOn(QPrinter& printer, engine::Cursor& rows, const ReportSettings& settings) {
    // Printing into a file: the file is written as every file of the program is, whole or not
    // at all, nothing written through a link at its temporary name.
    const std::string file = printer.outputFileName().toStdString();
    if (printer.outputFormat() == QPrinter::PdfFormat && !file.empty()) {
        const QPageLayout chosen = printer.pageLayout();
        return writeReportPdf(rows, settings, file, &chosen);
    }
    const PageSize page = pageOf(printer);
    // The columns must fit the page the print dialog chose, as they had to fit the settings'.
    const ReportSettings checked = readSettings(std::to_string(settings.leftMargin),
                                                std::to_string(settings.columns), settings.paper,
                                                page);
    QPainter painter;
    if (!painter.begin(&printer))
        throw std::invalid_argument("Der Drucker konnte die Liste nicht annehmen.");
    const int pages = paintReport(painter, printer, rows, checked, page);
    painter.end();
    return pages;
}

void showPreview(engine::Cursor& rows, const ReportSettings& settings, const PreviewHooks& hooks,
                 QWidget* parent) {
    TReportPreview preview(rows, settings, hooks, parent);
    if (hooks.shown) QTimer::singleShot(0, &preview, [&] { hooks.shown(&preview); });
    preview.exec();
}

}  // namespace mv32::report
