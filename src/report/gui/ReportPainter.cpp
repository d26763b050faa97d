#include "report/gui/ReportPainter.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QIODevice>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <string_view>

#include "engine/EngineError.h"
#include "engine/FileSystem.h"
#include "engine/ReplacingFile.h"

namespace mv32::report {

namespace {

QPageSize qtSize(Paper paper) {
    switch (paper) {
        case Paper::A3:
            return QPageSize(QPageSize::A3);
        case Paper::A5:
            return QPageSize(QPageSize::A5);
        case Paper::Legal:
            return QPageSize(QPageSize::Legal);
        case Paper::Letter:
            return QPageSize(QPageSize::Letter);
        case Paper::A4:
        case Paper::Standard:
            break;
    }
    return QPageSize(QPageSize::A4);
}

QFont fontFor(ItemKind kind) {
    QFont f;
    if (kind == ItemKind::Title) {
        f.setFamily("Times New Roman");
        f.setStyleHint(QFont::Serif);
        f.setPointSizeF(20);
        f.setBold(true);
        return f;
    }
    f.setFamily("Arial");
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(8);
    f.setBold(kind == ItemKind::Name);
    return f;
}

void paintPage(QPainter& p, const Page& page, double dotsPerMm) {
    for (const Item& item : page.items) {
        p.setFont(fontFor(item.kind));
        const double height = item.kind == ItemKind::Title ? ReportPager::kTitleHeight
                                                           : ReportPager::kLine;
        const QRectF box(item.x * dotsPerMm, item.y * dotsPerMm, item.width * dotsPerMm,
                         height * dotsPerMm);
        const QString text = QFontMetricsF(p.font(), p.device())
                                 .elidedText(QString::fromStdString(item.text), Qt::ElideRight,
                                             box.width());
        const Qt::Alignment align =
            (item.kind == ItemKind::Title ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter;
        // Every text stays in its own column, also where a device draws a little wider than
        // it measured.
        p.save();
        p.setClipRect(box, Qt::IntersectClip);
        p.drawText(box, static_cast<int>(align), text);
        p.restore();
    }
}

}  // namespace

PageSize preparePage(QPagedPaintDevice& device, const ReportSettings& settings) {
    if (settings.paper != Paper::Standard) device.setPageSize(qtSize(settings.paper));
    device.setPageOrientation(QPageLayout::Portrait);
    device.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    const QRectF full = device.pageLayout().fullRect(QPageLayout::Millimeter);
    return {full.width(), full.height()};
}

int paintReport(QPainter& painter, QPagedPaintDevice& device, engine::Cursor& rows,
                const ReportSettings& settings, PageSize page) {
    const double dotsPerMm = device.logicalDpiX() / 25.4;
    ReportSettings measured = settings;
    const QFontMetricsF labels(fontFor(ItemKind::Label), &device);
    double widest = 0;
    for (const char* label : {"Datenträgernr.:", "Kategorie:"})
        widest = std::max(widest, labels.horizontalAdvance(QString::fromUtf8(label)));
    measured.labelWidth = widest / dotsPerMm + 1.5;  // and a little room before the value
    ReportPager pager(rows, measured, page);
    Page p;
    int pages = 0;
    while (pager.next(p)) {
        if (pages++ > 0) device.newPage();
        paintPage(painter, p, dotsPerMm);
    }
    return pages;
}

namespace {

// The PDF's bytes as Qt writes them, front to back into the file that replaces the target;
// the first failure is kept for the caller.
class ReplacingDevice final : public QIODevice {
public:
    explicit ReplacingDevice(engine::ReplacingFile& file) : file_(file) {}
    bool isSequential() const override { return true; }
    std::optional<engine::EngineError> failure;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 n) override {
        if (failure) return -1;
        try {
            file_.write(at_, std::string_view(data, static_cast<size_t>(n)));
        } catch (const engine::EngineError& e) {
            failure = e;
            return -1;
        }
        at_ += static_cast<uint64_t>(n);
        return n;
    }

private:
    engine::ReplacingFile& file_;
    uint64_t at_ = 0;
};

}  // namespace

int writeReportPdf(engine::Cursor& rows, const ReportSettings& settings, const std::string& path,
                   const QPageLayout* page) {
    std::unique_ptr<QGuiApplication> app;
    if (!QGuiApplication::instance()) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "mv32db";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QGuiApplication>(argc, argv);
    }
    engine::ReplacingFile file(engine::FileSystem::real(), path);
    ReplacingDevice device(file);
    device.open(QIODevice::WriteOnly);
    int pages = 0;
    {
        QPdfWriter pdf(&device);
        pdf.setTitle("Mavrel/32");
        pdf.setCreator("Mavrel/32");
        pdf.setResolution(300);
        PageSize size;
        ReportSettings used = settings;
        if (page) {
            pdf.setPageLayout(*page);
            pdf.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
            const QRectF full = pdf.pageLayout().fullRect(QPageLayout::Millimeter);
            size = {full.width(), full.height()};
            used = readSettings(std::to_string(settings.leftMargin),
                                std::to_string(settings.columns), settings.paper, size);
        } else {
            size = preparePage(pdf, settings);
        }
        QPainter painter;
        if (!painter.begin(&pdf)) {
            const std::string reason = engine::systemErrorReason(EIO);
            throw engine::EngineError(engine::ErrorKind::Io,
                                      "Schreiben der Datei " + engine::quoted(path) +
                                          " ist fehlgeschlagen: " + reason + ".",
                                      reason);
        }
        pages = paintReport(painter, pdf, rows, used, size);
        painter.end();
    }
    device.close();
    if (device.failure) throw *device.failure;
    file.commit();
    return pages;
}

int writeReportPdf(engine::Cursor& rows, const ReportSettings& settings, const std::string& path) {
    return writeReportPdf(rows, settings, path, nullptr);
}

}  // namespace mv32::report
