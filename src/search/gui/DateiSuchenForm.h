// TDateiSuchenForm: the window "Datei suchen" over the file list: the search edit with its
// exact lookup, the navigator, the grid in table or result mode with the sort popups, the
// take-over of one file (double click) or of the selected ones, "&Execute" and the position
// of the file list's current record. search/FileSearch decides; the window shows.
//
// Made on the first opening and then only hidden and shown; while it is shown it holds the
// file list exclusively, closing it lets the file list go.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "document/gui/RecordGrid.h"
#include "edit/gui/MyDBNavigator97.h"
#include "search/FileSearch.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QVBoxLayout;

namespace mv32::search {

class TDateiSuchenForm : public QWidget {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void(const FileRow&)> takeOne;  // DBGrid1DblClick
        // AllSelectedClick: the selected rows (record numbers) of a cursor over what is shown.
        std::function<void(engine::Cursor&, const std::vector<int64_t>&)> takeSelected;
        std::function<void(const FileRow&)> start;  // ExecFileClick
        std::function<void(const QString& page)> openHelp;
    };
    TDateiSuchenForm(document::UserInterface& ui, Hooks hooks, QWidget* parent = nullptr);
    ~TDateiSuchenForm() override;

    FileSearch& core() { return core_; }
    // DateisuchenItemClick: the first opening prepares the file list of `dataFolder`; every
    // opening shows the window centred in normal state.
    void open(const std::string& dataFolder, bool sekIndexActive);
    // FormClose: as the close button; the file list is let go.
    void closeWindow();

    document::RecordGrid& grid() { return *grid_; }
    edit::TMyDBNavigator97& navigator() { return *nav_; }
    QMenu* tablePopup() const { return popupFiles_; }
    QMenu* resultPopup() const { return popupFilesSql_; }
    // The grid's popup now: none, PopupFiles or PopupFilesSQL.
    QMenu* currentPopup() const;
    QString positionText() const;
    // "Treffer: n" beside the position in result mode; empty in table mode.
    QString hitsText() const;

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void follow();  // the grid, the navigator and the buttons follow the mode
    void updatePosition();
    // DBGrid1ColExit and DBGrid1ColEnter: leaving a cell of the grid takes the file's commands
    // away, entering one gives them.
    void leaveCell();
    void enterCell();
    QMenu* makePopup(const char* name, const char* suffix, bool table);

    FileSearch core_;
    document::UserInterface& ui_;
    Hooks hooks_;
    QVBoxLayout* layout_ = nullptr;
    QLabel* label1_ = nullptr;
    QLineEdit* edit_ = nullptr;
    edit::TMyDBNavigator97* nav_ = nullptr;
    document::RecordGrid* grid_ = nullptr;
    document::DataSource* gridSource_ = nullptr;
    QPushButton* back_ = nullptr;
    QPushButton* find_ = nullptr;
    QPushButton* exec_ = nullptr;
    QPushButton* allSelected_ = nullptr;
    QLabel* recNo_ = nullptr;
    QLabel* count_ = nullptr;
    QLabel* hits_ = nullptr;
    QMenu* popupFiles_ = nullptr;
    QMenu* popupFilesSql_ = nullptr;
};

}  // namespace mv32::search
