// The main window TMavrel32Main: menus, toolbar, status bar, context menu and notification-area
// icon of the program, over the catalog document.
//
// The window owns the document and every object of the run (settings, log, auto-save, the
// legacy reader and writer) and shows what they decide; the commands themselves live in the
// core. Components carry the program's names as object names, so that tests find them.
// User-interface thread only.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/ProgramShell.h"
#include "app/QtInvoker.h"
#include "app/QtUserInterface.h"
#include "document/AutoSave.h"
#include "document/CatalogDocument.h"
#include "document/Log.h"
#include "document/Settings.h"
#include "document/SettingsStore.h"
#include "exchange/MvReader.h"
#include "exchange/MvWriter.h"
#include "scan/ScanDriver.h"
#include "scan/gui/Programmdateneinlesen.h"

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QSystemTrayIcon;
class QToolButton;

namespace mv32::app {

class TWaitWindow;

class TMavrel32Main : public QMainWindow {
    Q_OBJECT
public:
    struct Options {
        std::vector<std::string> args;  // the command line after the program name
        std::string programFile;        // path of the program file
        std::string programDir;         // with a trailing separator
        std::unique_ptr<document::SettingsStore> store;
        const platform::Clock* clock = nullptr;  // default: the system clock
        bool writeShellEntries = true;
    };

    explicit TMavrel32Main(Options options, QWidget* parent = nullptr);
    ~TMavrel32Main() override;

    document::CatalogDocument& document() { return *doc_; }
    ProgramShell& shell() { return *shell_; }
    document::AutoSave& autoSave() { return *autoSave_; }
    QTimer& autoSaveTimer() { return autoSaveTimer_; }
    QtUserInterface& port() { return ui_; }

    // Handles the command line the first time the window is shown.
    void handleCommandLineOnce();

    // --- Used by the user-interface port.
    void setPanelText(int panel, const QString& text);
    QString panelText(int panel) const;
    void setControlState(document::ControlState state);
    void setSortItemVisible(const std::string& indexName, bool visible);
    void setFileSearchVisible(bool visible);
    void setRecentFiles(const std::vector<std::string>& paths);
    void showProgress(bool visible);
    void setProgress(int minimum, int maximum, int value);
    void showBusy(bool visible);
    void setRecordLabel(int64_t recNo, int64_t count);
    TWaitWindow& waitWindow();
    // Where the help pages are (ProgramDir + "hilfe/", else beside the installed program).
    static QString helpFolder(const std::string& programDir);
    void openHelpPage(const QString& page);
    // The positions of the toolbar buttons in the two states (dots per inch above 100 or not).
    static std::array<int, 10> toolbarPositions(document::ControlState state, bool highDpi);

    // "Scannen": opens the scan dialog (refused while a background scan runs).
    void ScanBtnClick();
    scan::ScanFlags& scanFlags() { return scanFlags_; }
    scan::TProgrammdateneinlesen* scanDialog() { return scanDialog_; }

    // Commands not built yet tell the person so.
    void notYetThere(const QString& what);

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    QAction* addItem(QMenu* menu, const char* objectName, const QString& caption,
                     const QKeySequence& shortcut, const QString& hint, int helpContext);
    void buildMenus();
    void buildToolbar();
    void buildStatusBar();
    void buildTray();
    void exitCommand();
    void EinstellungenClick();
    void showInfo();
    void runCommand(const std::function<void()>& command);

    Options options_;
    document::Settings settings_;
    QtUserInterface ui_;
    std::unique_ptr<document::Log> log_;
    std::unique_ptr<document::CatalogDocument> doc_;
    std::unique_ptr<document::AutoSave> autoSave_;
    std::unique_ptr<exchange::MvReader> reader_;
    std::unique_ptr<exchange::MvWriter> writer_;
    std::unique_ptr<ProgramShell> shell_;
    QtInvoker invoker_;
    scan::ScanFlags scanFlags_;
    std::unique_ptr<scan::ScanDriver> scanDriver_;
    QPointer<scan::TProgrammdateneinlesen> scanDialog_;
    QTimer autoSaveTimer_;
    bool commandLineHandled_ = false;
    document::ControlState state_ = document::ControlState::NoCatalog;
    bool fileSearchVisible_ = false;

    std::map<std::string, QAction*> sortItems_;  // kept for the overview's sort menu
    std::vector<QAction*> hiddenWithoutCatalog_;
    QMenu* bearbeiten_ = nullptr;
    QMenu* suchen_ = nullptr;
    QMenu* drucken_ = nullptr;
    QMenu* import_ = nullptr;
    QMenu* export_ = nullptr;
    QMenu* popup_ = nullptr;
    QAction* dateiSuchen_ = nullptr;
    QAction* popupDateiSuchen_ = nullptr;
    QAction* mruSeparator_ = nullptr;
    std::array<QAction*, 5> mru_{};
    QWidget* toolbar_ = nullptr;
    QLabel* strip_ = nullptr;
    std::array<QToolButton*, 10> buttons_{};
    std::array<QLabel*, 5> panels_{};
    QProgressBar* progress_ = nullptr;
    QProgressBar* busy_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
    QPointer<TWaitWindow> wait_;
};

}  // namespace mv32::app
