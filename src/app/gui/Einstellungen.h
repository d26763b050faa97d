// The settings dialog "Einstellungen": six pages bound to the core's SettingsDialogModel.
//
// The window holds no rules of its own: each click goes to the model and the controls are then
// filled again from it. Enter and Escape close the dialog without applying anything, as
// "&Abbrechen" does.
#pragma once

#include <QDialog>
#include <array>
#include <string>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace mv32::document {
class SettingsDialogModel;
}

namespace mv32::app {

class TEinstellungen : public QDialog {
    Q_OBJECT
public:
    TEinstellungen(document::SettingsDialogModel& model, std::string helpFolder,
                   QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    QWidget* hauptdatenbankPage();
    QWidget* allgemeinesPage();
    QWidget* autoSavePage();
    QWidget* dateidatenbankPage();
    QWidget* scanPage();
    QWidget* infosPage();
    // Fills every control from the model.
    void load();
    // A check box whose clicks go to `apply` and then refill the controls.
    QCheckBox* box(const QString& caption, const char* objectName,
                   const std::function<void(bool)>& apply);
    void okClick();

    document::SettingsDialogModel& model_;
    std::string helpFolder_;  // where the help pages are
    bool loading_ = false;
    QTabWidget* pages_ = nullptr;
    QPlainTextEdit* userSql_ = nullptr;
    std::array<QCheckBox*, 8> indexBoxes_{};
    QCheckBox* debug_ = nullptr;
    QCheckBox* readLast_ = nullptr;
    QCheckBox* noFun_ = nullptr;
    QCheckBox* backup_ = nullptr;
    QCheckBox* autoSave_ = nullptr;
    QCheckBox* asAender_ = nullptr;
    QCheckBox* asZeit_ = nullptr;
    QLineEdit* changes_ = nullptr;
    QLineEdit* minutes_ = nullptr;
    QLineEdit* folder_ = nullptr;
    QCheckBox* sekIndex_ = nullptr;
    QCheckBox* filesBbs_ = nullptr;
    QCheckBox* fileIdDiz_ = nullptr;
    QCheckBox* background_ = nullptr;
    QCheckBox* hidden_ = nullptr;
    QLineEdit* email_ = nullptr;
    QLineEdit* url_ = nullptr;
};

}  // namespace mv32::app
