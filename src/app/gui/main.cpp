// Start of the program: the single-instance guard, German texts for Qt's own dialogs, the
// splash window, then the main window with the command line.
#include <QApplication>
#include <QLabel>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>
#include <memory>

#include "app/gui/Mavrel32Main.h"
#include "document/SettingsStore.h"
#include "platform/Paths.h"
#include "platform/SingleInstance.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Mavrel/32");

    // Qt's standard dialogs (files, folders, printing) speak German.
    QTranslator qtGerman;
    if (qtGerman.load(QLocale(QLocale::German, QLocale::Germany), "qtbase", "_",
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtGerman);

    mv32::platform::SingleInstance guard;
    if (!guard.acquire()) {
        QMessageBox box(QMessageBox::Information, "Mavrel/32", "Der Mavrel/32 läuft bereits!");
        box.addButton("OK", QMessageBox::AcceptRole);
        box.exec();
        return 0;
    }

    // The splash window while the main window is made.
    auto splash = std::make_unique<QLabel>(
        "<div style='font-size:28pt; font-weight:bold'>Mavrel/32</div>"
        "<div style='font-size:12pt'>beim laden...</div>");
    splash->setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint);
    splash->setAlignment(Qt::AlignCenter);
    splash->setStyleSheet("background: #1c2a4a; color: white; padding: 30px;");
    splash->setFixedSize(360, 180);
    splash->show();
    QApplication::processEvents();

    mv32::app::TMavrel32Main::Options options;
    for (int i = 1; i < argc; ++i) options.args.emplace_back(argv[i]);
    options.programFile = QApplication::applicationFilePath().toStdString();
    options.programDir = mv32::platform::programDir(&options.programDirCreated);
    options.store =
        std::make_unique<mv32::document::IniSettingsStore>(mv32::platform::settingsFilePath());
    mv32::app::TMavrel32Main window(std::move(options));
    window.show();
    splash.reset();
    const int status = QApplication::exec();
    return status != 0 ? status : window.exitStatus();
}
