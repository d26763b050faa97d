// Start of the program: the single-instance guard, German texts for Qt's own dialogs, the
// splash window, then the main window with the command line.
#include <QApplication>
#include <QLabel>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/ProgramShell.h"
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

    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    // A run nobody watches tells what went wrong on standard error (and in the log) and ends
    // with a non-zero status instead of waiting for a person.
    const bool unattended = mv32::app::runsUnattended(args);
    auto tell = [](const std::string& line) { std::cerr << "Mavrel/32: " << line << '\n'; };

    constexpr const char* kAlreadyRunning = "Der Mavrel/32 läuft bereits!";
    mv32::platform::SingleInstance guard;
    if (!guard.acquire()) {
        if (unattended) {
            mv32::document::IniSettingsStore store(mv32::platform::settingsFilePath());
            mv32::app::writeLogLineWithoutProgram(store, mv32::platform::programDir(),
                                                  kAlreadyRunning);
            tell(kAlreadyRunning);
            return 1;
        }
        QMessageBox box(QMessageBox::Information, "Mavrel/32", kAlreadyRunning);
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
    options.args = args;
    options.programFile = QApplication::applicationFilePath().toStdString();
    options.programDir = mv32::platform::programDir(&options.programDirCreated);
    options.store =
        std::make_unique<mv32::document::IniSettingsStore>(mv32::platform::settingsFilePath());
    mv32::app::TMavrel32Main window(std::move(options));
    window.show();
    splash.reset();
    const int status = QApplication::exec() != 0 ? 1 : window.exitStatus();
    if (unattended && status != 0)
        for (const auto& line : window.unattendedLines()) tell(line);
    return status;
}
