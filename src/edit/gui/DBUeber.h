// TDBUeber: the overview window "Datenbank Übersicht", a grid over the catalog or over the
// result of the last search (edit/Overview decides which), with the navigator, the record
// position, the jump box, the sort menu or the result's menu, and "Datenmenge löschen".
// Made once and then only hidden and shown; shown modally for the full search's result.
#pragma once

#include <QList>
#include <QWidget>
#include <functional>
#include <string>

#include "document/gui/RecordGrid.h"
#include "edit/Overview.h"
#include "edit/gui/MyDBNavigator97.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QVBoxLayout;

namespace mv32::edit {

class TDBUeber : public QWidget {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void()> openEntry;     // the entry window on the record
        std::function<void()> exportResult;  // "Datenmenge exportieren (ASCII)"
        std::function<void()> printResult;   // "Datenmenge drucken"
    };
    // `sortActions` are the sort menu's items (the main window keeps them, so that they
    // follow the index settings).
    TDBUeber(Overview& overview, document::UserInterface& ui, QList<QAction*> sortActions,
             Hooks hooks, std::string helpFolder, QWidget* parent = nullptr);
    ~TDBUeber() override;

    document::RecordGrid& grid() { return *grid_; }
    TMyDBNavigator97& navigator() { return *nav_; }
    // Label5 and Label7: the record position.
    QString positionText() const;

signals:
    void hidden();

protected:
    void hideEvent(QHideEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void changeEvent(QEvent* e) override;
    // Ctrl+Del on the grid.
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void showWindow(bool modal);
    void follow();  // the grid, the navigator and the controls follow the mode
    void updatePosition();

    Overview& overview_;
    document::UserInterface& ui_;
    Hooks hooks_;
    std::string helpFolder_;
    QVBoxLayout* layout_ = nullptr;
    TMyDBNavigator97* nav_ = nullptr;
    document::RecordGrid* grid_ = nullptr;
    document::DataSource* gridSource_ = nullptr;
    QMenu* sortMenu_ = nullptr;
    QMenu* resultMenu_ = nullptr;
    QLineEdit* jump_ = nullptr;
    QLabel* recNo_ = nullptr;
    QLabel* count_ = nullptr;
    QPushButton* deleteResult_ = nullptr;
};

}  // namespace mv32::edit
