// The main window TMavrel32Main: menus, toolbar, status bar, context menu and notification-area
// icon of the program.
//
// The window makes the program object with its user-interface port and is a view over it: its
// menus, context menu and toolbar come from the command table, their states from the table's
// rules, and every command runs in the program unless it opens a window. Components carry the
// program's names as object names, so that tests find them. User-interface thread only.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/Program.h"
#include "app/gui/QtInvoker.h"
#include "app/gui/QtUserInterface.h"
#include "edit/gui/Auswahl.h"
#include "edit/gui/DBUeber.h"
#include "edit/gui/Programmdateneingeben.h"
#include "edit/gui/Uebersicht.h"
#include "edit/gui/UndoForm.h"
#include "scan/gui/Programmdateneinlesen.h"
#include "exchange/gui/ExportDialog.h"
#include "search/FileTakeOver.h"
#include "search/gui/BereichSuchen.h"
#include "search/gui/DateiSuchenForm.h"
#include "search/gui/SuchenDialog.h"
#include "search/gui/speichersuchen.h"

class QAction;
class QPrinter;
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
    using Options = Program::Options;

    explicit TMavrel32Main(Options options, QWidget* parent = nullptr);
    ~TMavrel32Main() override;

    Program& program() { return *program_; }
    document::CatalogDocument& document() { return program_->document(); }
    ProgramShell& shell() { return program_->shell(); }
    document::AutoSave& autoSave() { return program_->autoSave(); }
    QTimer& autoSaveTimer() { return autoSaveTimer_; }
    QtUserInterface& port() { return ui_; }

    // Handles the command line the first time the window is shown.
    void handleCommandLineOnce();
    // The program's exit status: not 0 when a command-line scan that closes the program failed.
    int exitStatus() const { return exitStatus_ != 0 || program_->unattendedRunWaited() ? 1 : 0; }
    // The log lines of a run nobody watches, for standard error when it failed.
    const std::vector<std::string>& unattendedLines() const {
        return program_->unattendedLines();
    }

    // --- Used by the user-interface port.
    void setPanelText(int panel, const QString& text);
    QString panelText(int panel) const;
    void setControlState(document::ControlState state);
    void setSortItemVisible(const std::string& indexName, bool visible);
    void setFileSearchVisible(bool visible);
    void setUndoEnabled(bool enabled);
    void setRecentFiles(const std::vector<std::string>& paths);
    void showProgress(bool visible);
    void setProgress(int minimum, int maximum, int value);
    void showBusy(bool visible);
    void setRecordLabel(int64_t recNo, int64_t count);
    TWaitWindow& waitWindow();
    void openHelpPage(const QString& page);

    // "Scannen": opens the scan dialog (refused while a background scan runs).
    void ScanBtnClick();
    // "&Eingabe...": the entry window, made on its first opening.
    void EingabeItemClick();
    // "Undo...": the window "Undo Tabelle".
    void Undo1Click();
    // "&DB-Übersicht": the overview in normal mode.
    void UebersichtBtnClick();
    // "&Treeview": the tree window.
    void UebersichtItemClick();
    // "Entfernen": the window that removes a scanned medium.
    void Entfernen1Click();
    // "&Suchen (große Suche)...": the full search's dialog.
    void SuchenMenuClick();
    search::TSuchenDialog* searchDialog() { return search_; }
    // "&Freien Speicher suchen..." and "&Bereich der Datenträger-Nr. durchsuchen...".
    void FreienSpeichersuchenItemClick();
    void BereichsuchenItemClick();
    search::Tspeichersuchen* freeSpaceDialog() { return freeSpace_; }
    // "&Datei suchen...": the file search window (not while a scan runs).
    void DateisuchenItemClick();
    search::TDateiSuchenForm* fileSearchWindow() { return fileSearch_; }
    // The desktop's "open" of a file in a folder, which "&Execute" uses; false on failure.
    std::function<bool(const std::string& file, const std::string& folder)> shellOpen;
    // Told when the print preview shows (tests look at it and close it).
    std::function<void(QWidget* preview)> previewShown;
    // Stands in for the system's print dialog in tests (see report::PreviewHooks).
    std::function<bool(QPrinter&)> printDialog;
    search::TBereichSuchen* rangeDialog() { return range_; }
    edit::TAuswahl* removalWindow() { return removal_; }
    edit::TUebersicht* treeWindow() { return tree_; }
    edit::TDBUeber* overviewWindow() { return overview_; }
    edit::TProgrammdateneingeben* entryWindow() { return entry_; }
    edit::TUndoForm* undoWindow() { return undoForm_; }
    scan::ScanFlags& scanFlags() { return program_->scanFlags(); }
    scan::TProgrammdateneinlesen* scanDialog() { return scanDialog_; }

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    // Carries out a command: in the program, or here when it opens a window.
    void trigger(const CommandDef& def);
    QAction* makeAction(const CommandDef& def, QMenu* menu);
    void buildMenu(QMenu* menu, const std::vector<MenuEntry>& entries);
    void buildMenus();
    void buildPopup();
    void buildToolbar();
    void buildStatusBar();
    void buildTray();
    // Shows what the rules say for the present state.
    void applyRules();
    void exitCommand();
    void makeEntryWindow(bool prepare);
    void makeOverviewWindow();
    search::FileTakeOver takeOver();
    // The text or HTML export's dialog, then the export (of the catalog or the search result).
    void exportText(exchange::ExportKind kind);
    // The print settings, then the preview of the list (of the catalog or the search result).
    void printList(bool result);
    // Closes the file search window, which holds the file list while it is shown.
    void releaseFileList();
    void EinstellungenClick();
    void showInfo();

    QtUserInterface ui_;
    QtInvoker invoker_;
    std::unique_ptr<Program> program_;
    QPointer<scan::TProgrammdateneinlesen> scanDialog_;
    QPointer<edit::TProgrammdateneingeben> entry_;
    QPointer<edit::TUndoForm> undoForm_;
    QPointer<edit::TDBUeber> overview_;
    QPointer<edit::TUebersicht> tree_;
    QPointer<edit::TAuswahl> removal_;
    QPointer<search::TSuchenDialog> search_;
    QPointer<search::Tspeichersuchen> freeSpace_;
    QPointer<search::TBereichSuchen> range_;
    QPointer<search::TDateiSuchenForm> fileSearch_;
    QAction* sortByName_ = nullptr;
    QTimer autoSaveTimer_;
    bool commandLineHandled_ = false;
    int exitStatus_ = 0;
    document::ControlState state_ = document::ControlState::NoCatalog;
    bool fileSearchVisible_ = false;

    // Every item and menu that follows a rule, with its rule.
    std::vector<std::pair<QAction*, Rule>> ruled_;
    std::vector<QAction*> journalled_;  // enabled while the undo journal holds an entry
    bool undoEnabled_ = false;
    std::map<std::string, QAction*> sortItems_;  // kept for the overview's sort menu
    QMenu* popup_ = nullptr;
    QAction* mruSeparator_ = nullptr;
    std::array<QAction*, kRecentFiles> mru_{};
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
