// TUndoForm: the window "Undo Tabelle", which shows the undo journal and puts chosen entries back
// into the catalog.
//
// A navigator of five buttons and a grid of the journal's 13 columns (no memo, no picture) with
// whole-row and multiple selection; "Undo" restores the selected entries through the journal,
// "Schließen" and Esc hide the window, "Hilfe" opens its help page. Made on first use, then
// only hidden and shown.
#pragma once

#include <QWidget>
#include <string>

#include "document/gui/RecordGrid.h"
#include "edit/UndoJournal.h"
#include "edit/gui/MyDBNavigator97.h"

namespace mv32::edit {

class TUndoForm : public QWidget {
    Q_OBJECT
public:
    TUndoForm(UndoJournal& journal, document::DataSource& source, document::UserInterface& ui,
              std::string helpFolder, QWidget* parent = nullptr);

    document::RecordGrid& grid() { return *grid_; }
    TMyDBNavigator97& navigator() { return *nav_; }
    // "Undo": the selected entries back into the catalog.
    void restoreSelected();

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    UndoJournal& journal_;
    document::UserInterface& ui_;
    std::string helpFolder_;
    document::RecordGrid* grid_ = nullptr;
    TMyDBNavigator97* nav_ = nullptr;
};

}  // namespace mv32::edit
