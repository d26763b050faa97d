#include "search/gui/SearchDialogParts.h"

#include "document/gui/WindowParts.h"

#include <QDesktopServices>
#include <QUrl>

namespace mv32::search {

QHBoxLayout* searchButtons(QWidget* dialog, std::function<void()> find,
                           const std::string& helpFolder, const char* page) {
    auto make = [dialog](const QString& caption, const char* name, const QString& hint) {
        return document::button(caption, name, dialog, hint);
    };
    auto* search = make("&Suchen", "RxSpeedButton1", "Suche starten");
    search->setDefault(true);  // Enter starts the search
    auto* close = make("S&chließen", "RxSpeedButton2", "");
    auto* help = make("&Hilfe", "RxSpeedButton3", "Onlinehilfe konsultieren");
    QObject::connect(search, &QPushButton::clicked, dialog, std::move(find));
    QObject::connect(close, &QPushButton::clicked, dialog, &QWidget::hide);
    const QString url = QString::fromStdString(helpFolder) + page;
    QObject::connect(help, &QPushButton::clicked, dialog,
                     [url] { QDesktopServices::openUrl(QUrl::fromLocalFile(url)); });
    auto* row = new QHBoxLayout;
    row->addWidget(search);
    row->addStretch();
    row->addWidget(close);
    row->addWidget(help);
    return row;
}

void showCentred(QWidget* dialog) {
    document::centreOnScreen(dialog);
    document::showInFront(dialog);
}

}  // namespace mv32::search
