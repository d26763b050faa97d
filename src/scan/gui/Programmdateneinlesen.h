// The scan dialog TProgrammdateneinlesen ("Laufwerk scannen"): the drive box, the status line,
// the two counters and the buttons "&Start", "&Schließen", "&Hilfe" and "&Abbrechen".
//
// The dialog starts the scan driver's dialog scan (NewBaum in the foreground, NewBaum3 in the
// background, on the driver's scan thread) and shows what the scan asks for through
// ScanDialogView; those calls arrive on the user-interface thread. Created on first use and
// kept for the rest of the run.
#pragma once

#include <QDialog>
#include <functional>

#include "scan/ScanDriver.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace mv32::scan {

class TProgrammdateneinlesen : public QDialog, public ScanDialogView {
    Q_OBJECT
public:
    struct Hooks {
        std::function<bool()> scanBackground;     // the setting ScanBackground
        std::function<std::string()> dataFolder;  // DatenbankPfad
        std::function<void(const QString&)> openHelp;
        std::function<void(bool)> hideMainWindow;
    };

    TProgrammdateneinlesen(ScanDriver& driver, ScanFlags& flags, Hooks hooks,
                           QWidget* parent = nullptr);
    ~TProgrammdateneinlesen() override;

    // Whether a scan thread runs (the program refuses to end meanwhile).
    bool scanning() const { return driver_.scanning(); }
    // Waits for a running scan thread, letting the window answer its questions.
    void finishScan();

    // ScanDialogView.
    void setStatus(const std::string& text) override;
    void setFileCount(int64_t count) override;
    void setNewFiles(int64_t count) override;
    void setState(ScanDialogState state) override;
    void hideWindows(bool hide) override;

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void fillDrives();
    char selectedLetter() const;
    void DriveComboBox1Change();
    void scanbtnClick();
    void AbbrClick();

    ScanDriver& driver_;
    ScanFlags& flags_;
    Hooks hooks_;
    QComboBox* drives_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* count_ = nullptr;
    QLabel* newFiles_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* close_ = nullptr;
    QPushButton* help_ = nullptr;
    QPushButton* abbr_ = nullptr;
};

}  // namespace mv32::scan
