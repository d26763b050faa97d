// TProgrammdateneingeben: the entry window "Programmdaten editieren", where catalog records are
// entered, browsed, changed and deleted by hand.
//
// A thin view over edit/EntryForm: five pages of boxes bound to the main window's catalog data
// source, the record navigator, the drive information with its size displays and fill gauge,
// the picture, and the buttons that scan a drive, open the overview, edit the pick lists, close
// and open the help page. Made once per run and afterwards only hidden and shown.
#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <string>

#include "edit/EntryForm.h"
#include "edit/gui/MyDBNavigator97.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QScrollArea;
class QTabWidget;

namespace mv32::edit {

class TProgrammdateneingeben : public QWidget {
    Q_OBJECT
public:
    // `makeForm` makes the window's core with the view it is given (the program keeps the
    // core, since every new catalog record asks it for the carry-over).
    using FormMaker = std::function<EntryForm&(EntryForm::View)>;
    TProgrammdateneingeben(FormMaker makeForm, document::DataSource& catalog,
                           document::UserInterface& ui, std::string helpFolder,
                           QWidget* parent = nullptr);
    ~TProgrammdateneingeben() override;

    // Showing the window (again): normal state, in front, its drive list filled afresh (the
    // record and its drive letter stay as they are); `centred` (the overview's double click)
    // centres it on the screen. Opened from a modal window it is modal over it this time.
    void reopen(bool centred = false);
    EntryForm& form() { return *form_; }
    TMyDBNavigator97& navigator() { return *nav_; }
    QTabWidget* pages() const { return pages_; }

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QWidget* allgemeinPage();
    QWidget* datentraegerPage();
    QWidget* kategoriePage();
    QWidget* memoPage();
    QWidget* graphikPage();
    QLineEdit* edit(Box b, const char* name, int maxLength, bool readOnly = false);
    QComboBox* pickBox(Box b, const char* name);
    void showText(Box b, const std::string& text);
    void showPicture();
    void fillDrives();
    void chooseDrive(int index);
    void editList(ListKind kind);
    void choosePicture();
    void closeButton();

    document::UserInterface& ui_;
    std::string helpFolder_;
    EntryForm* form_ = nullptr;
    QTabWidget* pages_ = nullptr;
    TMyDBNavigator97* nav_ = nullptr;
    std::array<QWidget*, 16> boxes_{};  // by Box
    QComboBox* drives_ = nullptr;
    QProgressBar* gauge_ = nullptr;
    QLineEdit* pictureFile_ = nullptr;
    QCheckBox* stretch_ = nullptr;
    QLabel* picture_ = nullptr;
    QScrollArea* pictureArea_ = nullptr;
    bool showing_ = false;  // the core is putting text into a box
};

}  // namespace mv32::edit
