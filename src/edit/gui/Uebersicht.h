// TUebersicht: the window "Treeview", the catalog's program names under their categories.
//
// A thin view over edit/CategoryTree: "Aktualisieren" builds the tree (the window's controls
// disabled meanwhile), "Speichern" and "Laden" keep it in .TRE files, "Expand" and "Collapse"
// open or close every node, and a double click on a name opens its record in the entry window.
// Made once and then only hidden and shown; it shows what was built or loaded last.
#pragma once

#include <QWidget>
#include <functional>

#include "edit/CategoryTree.h"
#include "edit/gui/CategoryTreeModel.h"

class QGroupBox;
class QPushButton;
class QRadioButton;
class QTreeView;

namespace mv32::edit {

class TUebersicht : public QWidget {
    Q_OBJECT
public:
    // `openEntry` shows the entry window on the catalog's current record.
    TUebersicht(CategoryTree& tree, std::function<void()> openEntry, QWidget* parent = nullptr);

    QTreeView* tree() const { return view_; }
    CategoryTreeModel& model() { return *model_; }
    // "Aktualisieren".
    void refresh();

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    void showLines();
    void setBusy(bool busy);
    void applyTool();

    CategoryTree& core_;
    std::function<void()> openEntry_;
    QTreeView* view_ = nullptr;
    CategoryTreeModel* model_ = nullptr;
    QPushButton* refresh_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* load_ = nullptr;
    QPushButton* close_ = nullptr;
    QGroupBox* tool_ = nullptr;
    QRadioButton* expand_ = nullptr;
};

}  // namespace mv32::edit
